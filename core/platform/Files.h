#pragma once
// File services the programs use, on wide-text paths (UTF-8 on POSIX).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zorvan::platform {

// The platform's path separator ('\\' on Windows, '/' elsewhere).
wchar_t PathSeparator();

// Full path of the running program; empty when it cannot be obtained.
std::wstring ProgramPath();
// The program's folder, with its trailing separator; empty when unknown.
std::wstring ProgramFolder();

// True when a path names an absolute location (POSIX: starts with '/'; Windows: a drive
// colon or two leading backslashes).
bool IsAbsolutePath(const std::wstring& path);

// True when a file or a folder of that path exists; an empty path does not exist.
bool PathExists(const std::wstring& path);
bool IsDirectory(const std::wstring& path);

// Whole-file read; nullopt when the file cannot be opened or read.
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::wstring& path);
// Replaces the file's content; false on any failure.
bool WriteWholeFile(const std::wstring& path, const std::vector<uint8_t>& data);
// Appends bytes (creating the file, keeping its content); false when it cannot be opened.
bool AppendToFile(const std::wstring& path, const void* data, size_t size);
// Deletes a file; a missing file is no error and no failure is reported.
void DeleteFileQuietly(const std::wstring& path);

// The names (not paths) of the entries of a folder, in the order the file system lists them.
std::vector<std::wstring> ListFolder(const std::wstring& folder);

// The process's current working directory, with a trailing separator.
std::wstring CurrentFolder();

std::string NativePath(const std::wstring& path);

}  // namespace zorvan::platform
