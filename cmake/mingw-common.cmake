# The posix thread model: GoogleTest needs std::mutex; -static keeps winpthread inside.
set(CMAKE_C_COMPILER ${ZU_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZU_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZU_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZU_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
