#include "tools/ToolsFile.h"

#include "base/Error.h"
#include "base/Owners.h"
#include "testbed/temp_path.h"
#include "tools/ToolsUTF8.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// Reads of a file in the temporary folder, which goes with the test.
class FileReadTest : public ::testing::Test {
protected:
    void Write(const Bytes& bytes) {
        base::UniqueFile file(CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        DWORD written = 0;
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }

    testbed::ScratchFile file_{L".bin"};
    const std::wstring& path_ = file_.path();
};

TEST_F(FileReadTest, MissingOrEmptyFileGivesNothing) {
    for (int round = 0; round < 2; ++round) {
        EXPECT_TRUE(tools::ReadFileBytes(path_).empty());
        EXPECT_EQ(tools::ReadFileText(path_, false), L"");
        EXPECT_EQ(tools::ReadFileText(path_, true), L"");
        Write({});
    }
}

TEST_F(FileReadTest, ReadsEveryByteAsItIs) {
    Bytes bytes;
    for (int i = 0; i < 70000; ++i) {
        bytes.push_back(static_cast<unsigned char>(i * 7));
    }
    Write(bytes);
    Bytes read = tools::ReadFileBytes(path_);
    EXPECT_EQ(read, bytes);
    EXPECT_EQ(tools::SafeUBound(read), 69999);
}

TEST_F(FileReadTest, ReadsAFileThatAnotherHandleHoldsOpenForWriting) {
    Write({'o', 'k'});
    base::UniqueFile writer(CreateFileW(path_.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writer);
    EXPECT_EQ(tools::ReadFileText(path_, false), L"ok");
}

TEST_F(FileReadTest, TextKeepsLineBreaksAndDecodesAsAsked) {
    Write({'a', '\r', '\n', 'b', '\n', 0xC3, 0xA9});
    EXPECT_EQ(tools::ReadFileText(path_, true), L"a\r\nb\n\u00e9");
    std::wstring ansi = tools::ReadFileText(path_, false);
    EXPECT_EQ(ansi.substr(0, 5), L"a\r\nb\n");
    if (GetACP() == 1252) {
        EXPECT_EQ(ansi.substr(5), L"\u00c3\u00a9");
    }
}

// A bounded read holds at most the bound, however long the file, and says so when it is longer.
TEST_F(FileReadTest, ABoundedReadTakesAFileUpToTheBoundAndRefusesALongerOne) {
    Write(Bytes(1000, 'x'));
    base::UniqueFile file(CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    EXPECT_EQ(tools::ReadOpenFileBytesAtMost(file.get(), 1000), Bytes(1000, 'x'));
    try {
        tools::ReadOpenFileBytesAtMost(file.get(), 999);
        FAIL() << "no error";
    } catch (const base::Error& error) {
        EXPECT_EQ(error.hr(), HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE));
        EXPECT_NE(error.description().find(L"999"), std::wstring::npos) << error.description();
    }
}

} // namespace
