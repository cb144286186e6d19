// The driver package reader: the LZMA SDK's 7z decoder over the package bytes in memory.
#include "archivereader.h"

#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <vector>

#include "7zCrc.h"
#include "tracemsg.h"

namespace {

// The decoder's allocations, each refused above the cap. A header can declare any unpack
// size; without the cap a damaged package would exhaust memory before its CRC is checked.
void *CappedAlloc(ISzAllocPtr, size_t size)
{
    if (size == 0)
        return nullptr;
    if (size > CArchiveReader::kMaxAllocation)
    {
        TraceMsg(L"allocation refused![%lu]\n", static_cast<unsigned long>(size));
        return nullptr;
    }
    return std::malloc(size);
}

void CappedFree(ISzAllocPtr, void *address)
{
    std::free(address);
}

} // namespace

CArchiveReader::CArchiveReader()
    : m_stream(), m_data(nullptr), m_size(0), m_look(), m_db(), m_allocMain(), m_allocTemp(),
      m_position(0), m_blockIndex(kNoBlock), m_outBuffer(nullptr), m_outBufferSize(0),
      m_itemOffset(0), m_itemSize(0), m_blocksDecoded(0), m_open(false), m_files(nullptr)
{
}

CArchiveReader::~CArchiveReader()
{
    if (m_open)
        Close();
}

void CArchiveReader::Open(const void *data, uint32_t size)
{
    if (m_open)
        Close();

    m_data = static_cast<const uint8_t *>(data);
    m_size = size;
    m_position = 0;
    m_blockIndex = kNoBlock;
    m_outBuffer = nullptr;
    m_outBufferSize = 0;
    m_itemOffset = 0;
    m_itemSize = 0;
    m_blocksDecoded = 0;

    m_stream.Read = ArchiveRead;
    m_stream.Seek = ArchiveSeek;

    // Exact mode: the decoder asks for what it needs. A look-ahead that always asks for a full
    // buffer would fail near the end of the package, since ArchiveRead makes no short reads.
    LookToRead2_CreateVTable(&m_look, False);
    m_look.buf = m_lookBuffer;
    m_look.bufSize = sizeof(m_lookBuffer);
    m_look.realStream = &m_stream;
    LookToRead2_INIT(&m_look);

    CrcGenerateTable();

    m_allocMain.Alloc = CappedAlloc;
    m_allocMain.Free = CappedFree;
    m_allocTemp.Alloc = CappedAlloc;
    m_allocTemp.Free = CappedFree;

    // A failed open leaves the database empty: every listing is then empty and the callers
    // find none of the items they need.
    SzArEx_Init(&m_db);
    const SRes res = SzArEx_Open(&m_db, &m_look.vt, &m_allocMain, &m_allocTemp);
    if (res != SZ_OK)
        TraceMsg(L"open archive fail![%d]\n", res);
    m_open = true;
}

void CArchiveReader::Close()
{
    if (!m_open)
        return;
    DropBlock();
    SzArEx_Free(&m_db, &m_allocMain);
    m_open = false;
}

void CArchiveReader::DropBlock()
{
    ISzAlloc_Free(&m_allocMain, m_outBuffer);
    m_outBuffer = nullptr;
    m_outBufferSize = 0;
    m_blockIndex = kNoBlock;
}

uint32_t CArchiveReader::GetItemCount() const
{
    return m_open ? m_db.NumFiles : 0;
}

CArchiveItem CArchiveReader::GetItem(uint32_t index) const
{
    CArchiveItem item = {false, 0};
    if (index >= GetItemCount())
        return item;
    item.isDir = SzArEx_IsDir(&m_db, index);
    item.size = SzArEx_GetFileSize(&m_db, index);
    return item;
}

size_t CArchiveReader::GetItemName(uint32_t index, std::wstring &name) const
{
    name.clear();
    if (index >= GetItemCount())
        return 0;
    const size_t length = SzArEx_GetFileNameUtf16(&m_db, index, nullptr);
    std::vector<UInt16> units(length + 1, 0);
    SzArEx_GetFileNameUtf16(&m_db, index, units.data());
    // The name ends at its first terminator, as a C string would.
    for (size_t i = 0; i < length && units[i] != 0; ++i)
        name.push_back(static_cast<wchar_t>(units[i]));
    return length;
}

int CArchiveReader::ExtractItem(uint32_t index, const std::wstring &path)
{
    m_itemOffset = 0;
    m_itemSize = 0;
    if (index >= GetItemCount())
    {
        TraceMsg(L"uncompressing fail![%u]\n", static_cast<unsigned>(SZ_ERROR_PARAM));
        return 0;
    }

    const UInt32 folder = m_db.FileToFolder[index];
    if (folder != kNoBlock && (m_outBuffer == nullptr || m_blockIndex != folder))
        ++m_blocksDecoded;
    const SRes res = SzArEx_Extract(&m_db, &m_look.vt, index, &m_blockIndex, &m_outBuffer,
                                    &m_outBufferSize, &m_itemOffset, &m_itemSize, &m_allocMain,
                                    &m_allocTemp);
    if (res != SZ_OK)
    {
        // The library keeps a block whose decoding failed as if it were good: drop it, so a
        // later item of that block is decoded afresh rather than copied from garbage.
        DropBlock();
        TraceMsg(L"uncompressing fail![%u]\n", static_cast<unsigned>(res));
        return 0;
    }

    // Readers on different threads (the install worker, the dialog thread) each write through
    // a files object of their own call.
    std::unique_ptr<CItemFiles> platformFiles;
    if (m_files == nullptr)
        platformFiles = NewPlatformItemFiles();
    CItemFiles &files = m_files != nullptr ? *m_files : *platformFiles;
    uint32_t error = files.CreateNew(path);
    if (error != 0)
    {
        TraceMsg(L"create file fail![%u]\n", error);
        return 0;
    }

    const uint8_t *bytes = m_itemSize != 0 ? m_outBuffer + m_itemOffset : nullptr;
    size_t written = 0;
    error = files.Write(bytes, m_itemSize, &written);
    files.Close();
    if (error != 0 || written != m_itemSize)
    {
        // A partial file would pass for the item: it goes.
        TraceMsg(L"write file fail![%u]\n", error);
        files.Remove(path);
        return 0;
    }
    return 1;
}

CItemFiles &PlatformItemFiles()
{
    static const std::unique_ptr<CItemFiles> files = NewPlatformItemFiles();
    return *files;
}

void CArchiveReader::SetItemFiles(CItemFiles *files)
{
    m_files = files;
}

SRes CArchiveReader::ArchiveRead(ISeekInStreamPtr stream, void *buf, size_t *size)
{
    static_assert(std::is_standard_layout<CArchiveReader>::value,
                  "the stream pointer is turned back into the reader");
    static_assert(offsetof(CArchiveReader, m_stream) == 0, "the stream is the first member");
    CArchiveReader *self = reinterpret_cast<CArchiveReader *>(const_cast<ISeekInStream *>(stream));

    const int64_t end = self->m_size;
    const size_t n = *size;
    // No short reads: a request that does not fit entirely fails and copies nothing.
    if (self->m_position >= end || n > static_cast<uint64_t>(end - self->m_position))
    {
        *size = 0;
        return SZ_ERROR_INPUT_EOF;
    }
    if (n != 0)
        std::memcpy(buf, self->m_data + self->m_position, n);
    self->m_position += static_cast<int64_t>(n);
    return SZ_OK;
}

SRes CArchiveReader::ArchiveSeek(ISeekInStreamPtr stream, Int64 *pos, ESzSeek origin)
{
    CArchiveReader *self = reinterpret_cast<CArchiveReader *>(const_cast<ISeekInStream *>(stream));

    // Every rule keeps the position within 0 to the package size; the sums are never formed
    // where they could overflow.
    const int64_t end = self->m_size;
    const int64_t offset = *pos;
    const int64_t current = self->m_position;
    switch (origin)
    {
    case SZ_SEEK_SET:
        self->m_position = offset < 0 ? 0 : (offset < end ? offset : end);
        break;
    case SZ_SEEK_CUR:
        if (offset >= end - current)
            self->m_position = end;
        else if (offset <= -current)
            self->m_position = 0;
        else
            self->m_position = current + offset;
        break;
    case SZ_SEEK_END:
        // Back from the end by the offset, whichever its sign: the library passes only 0.
        if (offset >= 0)
            self->m_position = offset < end ? end - offset : 0;
        else
            self->m_position = offset > -end ? end + offset : 0;
        break;
    default:
        break;
    }
    *pos = self->m_position;
    return SZ_OK;
}
