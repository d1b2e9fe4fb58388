// Whole-file reads: as bytes, and as text in the ANSI code page or UTF-8.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace tools {

// Every byte of the file, read in one piece with read access and without locking it against
// other readers or writers. Never throws: a missing or unreadable file, an empty one and one of
// 2 GiB or more give no bytes. If the read itself fails once the array is sized, the array
// keeps the file's length and the bytes not read are 0.
std::vector<unsigned char> ReadFileBytes(std::wstring_view path);

// Every byte of an open file (read access needed), from its start whatever the file pointer,
// as ReadFileBytes reads them.
std::vector<unsigned char> ReadOpenFileBytes(HANDLE file);

// Every byte of an open file (read access needed), from its start whatever the file pointer,
// when it holds no more than `limit` bytes. Unlike ReadOpenFileBytes it reports every failure:
// a longer file throws base::Error(HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE)) before anything is
// read, a failed read throws the system's error, and running out of memory throws
// std::bad_alloc. So however long the file is, at most `limit` bytes are held.
std::vector<unsigned char> ReadOpenFileBytesAtMost(HANDLE file, size_t limit);

// The full path that a file name stands for, resolved against the current directory as the file
// functions resolve it; the empty text when the system cannot make one.
std::wstring FullPathName(const std::wstring& name);

// The file's bytes as text (BytesToText), or the empty text when the file gives no bytes.
// A failure of the ANSI decoding throws base::Error.
std::wstring ReadFileText(std::wstring_view path, bool utf8);

} // namespace tools
