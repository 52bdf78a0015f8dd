#pragma once
// Whole-file reads and crash-safe whole-file writes, and path text helpers. Paths are ANSI; both '\'
// and '/' separate folders in the path helpers.
#include <optional>
#include <string>
#include <string_view>

namespace sondrel {

// The whole file's bytes; nullopt when it is missing or cannot be read.
std::optional<std::string> ReadFileBytes(const std::string& path);
// The same, with the system's error code in *error when it fails.
std::optional<std::string> ReadFileBytes(const std::string& path, unsigned long* error);
bool FileExists(const std::string& path);
// A file or a folder of that name exists.
bool PathExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Creates the folder and every missing parent; false when it does not exist afterwards.
bool ForceDirectories(const std::string& path);
// Deletes a file; false when it did not exist or could not be deleted.
bool DeleteFileAt(const std::string& path);
// Copies a file over another; false on failure.
bool CopyFileTo(const std::string& from, const std::string& to);

// Replaces the file's contents with bytes in one step: the bytes go to a temporary file in the same
// folder, are flushed to disk, and the temporary file then replaces the old one. When anything fails
// the old file is left as it was, the temporary file is removed, and EOSError is raised.
void WriteFileAtomic(const std::string& path, std::string_view bytes);

// "C:\a\b.txt" -> "C:\a\" (up to and including the last separator or drive colon).
std::string ExtractFilePath(std::string_view path);
// "C:\a\b.txt" -> "b.txt".
std::string ExtractFileName(std::string_view path);
// "C:\a\b.txt" -> ".txt"; "" when the name has no dot.
std::string ExtractFileExt(std::string_view path);
// Replaces or adds the extension (ext includes the dot).
std::string ChangeFileExt(std::string_view path, std::string_view ext);
// The path with a backslash appended when it is not empty and does not end in one.
std::string IncludeBackslash(std::string_view path);

}  // namespace sondrel
