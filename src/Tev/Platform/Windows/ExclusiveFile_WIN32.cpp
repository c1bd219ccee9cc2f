#include "Tev/Platform/ExclusiveFile.h"

#include "Tev/Platform/TextModeWrite.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <new>
#include <string>

namespace Tev::Platform {

struct ExclusiveFile {
    HANDLE handle;
    bool endsMidLine;
    bool endsInCarriageReturn; // the "\n" of a line end is missing
};

namespace {

ExclusiveFile* refuse(HANDLE handle) noexcept
{
    ::CloseHandle(handle);
    return nullptr;
}

std::wstring widePath(const char* path)
{
    const int length = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, &wide[0], length) != length)
        return std::wstring();
    wide.resize(static_cast<std::size_t>(length - 1));
    return wide;
}

// The file's last byte; a line end for an empty file or one that cannot be read. (Writes
// append wherever the file pointer is.)
char lastByte(HANDLE handle) noexcept
{
    LARGE_INTEGER back{};
    back.QuadPart = -1;
    char last = '\n';
    DWORD got = 0;
    if (::SetFilePointerEx(handle, back, nullptr, FILE_END))
        ::ReadFile(handle, &last, sizeof last, &got, nullptr);
    return last;
}

// Whether the open file is the one the path names, not one that a link somewhere on
// the way leads to (Wine follows Unix links without showing a reparse point). A name
// that cannot be had, or does not fit, refuses the file; a buffer left unwritten holds
// the empty name, which no path has.
bool openedWhereAsked(HANDLE handle, const std::wstring& path) noexcept
{
    constexpr DWORD askedSize = MAX_PATH, openedSize = MAX_PATH + 4; // and "\\?\"
    wchar_t asked[askedSize]{};
    wchar_t opened[openedSize]{};
    const DWORD askedLength = ::GetFullPathNameW(path.c_str(), askedSize, asked, nullptr);
    const DWORD openedLength =
        ::GetFinalPathNameByHandleW(handle, opened, openedSize, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (askedLength == 0 || askedLength >= askedSize || openedLength == 0 || openedLength >= openedSize)
        return false;
    const wchar_t* name = opened;
    if (std::wcsncmp(name, L"\\\\?\\", 4) == 0)
        name += 4;
    return ::CompareStringOrdinal(name, -1, asked, -1, TRUE) == CSTR_EQUAL;
}

} // namespace

ExclusiveFile* openExclusiveAppend(const char* path)
{
    if (path == nullptr)
        return nullptr;
    const std::wstring wide = widePath(path);
    if (wide.empty())
        return nullptr;
    // Appending only, reading for the last byte; others may read but not write or
    // delete while it is open. A reparse point is opened as itself, not followed,
    // so that it can be refused; a directory does not open without backup rights.
    SECURITY_ATTRIBUTES notInherited{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    HANDLE handle = ::CreateFileW(wide.c_str(), FILE_READ_DATA | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                  FILE_SHARE_READ, &notInherited, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;

    BY_HANDLE_FILE_INFORMATION information{};
    if (::GetFileType(handle) != FILE_TYPE_DISK || !::GetFileInformationByHandle(handle, &information) ||
        (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
        information.nNumberOfLinks != 1 || !openedWhereAsked(handle, wide))
        return refuse(handle);

    const char last = lastByte(handle);
    auto* file = new (std::nothrow) ExclusiveFile{handle, last != '\n', last == '\r'};
    if (file == nullptr) {
        refuse(handle);
        throw std::bad_alloc();
    }
    return file;
}

bool endsMidLine(const ExclusiveFile* file) noexcept
{
    return file->endsMidLine;
}

std::size_t appendToFile(ExclusiveFile* file, const char* data, std::size_t size) noexcept
{
    // In text mode, each "\n" as "\r\n".
    return writeTextMode(
        data, size, file->endsInCarriageReturn, [file](const char* text, std::size_t length) -> std::size_t {
            DWORD written = 0;
            return ::WriteFile(file->handle, text, static_cast<DWORD>(length), &written, nullptr) ? written : 0;
        });
}

void closeFile(ExclusiveFile* file) noexcept
{
    if (file != nullptr) {
        ::CloseHandle(file->handle);
        delete file;
    }
}

const char* crisisLogPath() noexcept
{
    return "C:\\tev.log";
}

} // namespace Tev::Platform
