// The driver package: a 7z archive read in place from the program's resource bytes.
//
// Platform-free: no Windows header. Files are written through CItemFiles, whose Win32 and
// POSIX implementations live in platform_win32.cpp and platform_posix.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "7z.h"

// Where extracted items go: one new file at a time. Errors are system error codes (Win32
// numbering on every platform), 0 = success.
class CItemFiles
{
public:
    virtual ~CItemFiles() {}
    // Creates path as a new, empty file and keeps it open; an existing file is never opened
    // (ERROR_FILE_EXISTS, 80).
    virtual uint32_t CreateNew(const std::wstring &path) = 0;
    // Writes to the open file; *written tells how many bytes got out, also on failure.
    virtual uint32_t Write(const uint8_t *data, size_t size, size_t *written) = 0;
    virtual void Close() = 0;
    virtual uint32_t Remove(const std::wstring &path) = 0;
};

// The platform's real files: a new object for each use. Never a thread_local object: with
// mingw-w64's emulated TLS the storage of a thread_local object can be freed before its
// destructor runs at thread exit, and the destructor then writes into the freed heap block
// (the install worker's exit corrupted the heap that way).
std::unique_ptr<CItemFiles> NewPlatformItemFiles();
// One object of them for callers on one thread (tests that wrap the real files).
CItemFiles &PlatformItemFiles();

// One item of the archive as the callers need it.
struct CArchiveItem
{
    bool isDir;
    uint64_t size;
};

// A reader belongs to one thread. Open once, then list and extract, then Close once; the
// package bytes must outlive the reader and are never copied.
//
// Item names are UTF-16 code units, one per wchar_t on every platform (on Linux a character
// outside the BMP stays a surrogate pair of two wchar_t).
class CArchiveReader
{
public:
    // No single allocation of the decoder may exceed this: the package's one solid block is a
    // few MB, so a header that declares more is damaged or hostile.
    static constexpr size_t kMaxAllocation = 64u << 20;
    static constexpr uint32_t kNoBlock = 0xFFFFFFFFu;

    CArchiveReader();
    ~CArchiveReader();
    CArchiveReader(const CArchiveReader &) = delete;
    CArchiveReader &operator=(const CArchiveReader &) = delete;

    void Open(const void *data, uint32_t size);
    void Close();

    uint32_t GetItemCount() const;
    CArchiveItem GetItem(uint32_t index) const;
    // Returns the name's length in UTF-16 units with the terminator, 0 for an index out of
    // range; name holds the name without the terminator.
    size_t GetItemName(uint32_t index, std::wstring &name) const;
    // 1 when path was created as a new file holding exactly the item's bytes, else 0; a failed
    // extraction leaves no file behind and never touches an existing one.
    int ExtractItem(uint32_t index, const std::wstring &path);

    // Tests send extracted files elsewhere; null restores the platform's files.
    void SetItemFiles(CItemFiles *files);

    // The memory stream's callbacks; the stream they receive is the reader itself.
    static SRes ArchiveRead(ISeekInStreamPtr stream, void *buf, size_t *size);
    static SRes ArchiveSeek(ISeekInStreamPtr stream, Int64 *pos, ESzSeek origin);

    // The memory stream as the library sees it.
    ISeekInStreamPtr Stream() const { return &m_stream; }
    // How often a solid block was decoded since Open: the cache is seen working.
    uint32_t BlocksDecoded() const { return m_blocksDecoded; }
    int64_t Position() const { return m_position; }

private:
    void DropBlock();

    // The memory stream must stay the first member: its callbacks turn the stream pointer
    // they receive back into the reader.
    ISeekInStream m_stream;
    const uint8_t *m_data;
    uint32_t m_size;
    CLookToRead2 m_look;
    Byte m_lookBuffer[1 << 14];
    CSzArEx m_db;
    ISzAlloc m_allocMain;
    ISzAlloc m_allocTemp;
    int64_t m_position;

    // Extraction cache: the last decoded solid block.
    uint32_t m_blockIndex;
    Byte *m_outBuffer;
    size_t m_outBufferSize;
    size_t m_itemOffset;
    size_t m_itemSize;

    uint32_t m_blocksDecoded;
    bool m_open;
    CItemFiles *m_files;
};
