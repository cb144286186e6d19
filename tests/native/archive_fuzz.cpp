// libFuzzer target for the package reader over archive bytes. Besides what the sanitizers
// catch it checks:
//  - the stream position stays within 0 to the input size after every call;
//  - an item that extracts gets exactly its recorded size written, in one new file;
//  - a failed extraction leaves no file (every created file is written whole or removed);
//  - names never hold a terminator, and their reported length is the name's plus one.
// Files go to memory, never to the disk.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "archivereader.h"
#include "setupcore.h"
#include "tracemsg.h"

namespace {

#define FUZZ_CHECK(cond)                                                                           \
    do                                                                                             \
    {                                                                                              \
        if (!(cond))                                                                               \
        {                                                                                          \
            std::fprintf(stderr, "invariant failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__);    \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

class MemoryFiles : public CItemFiles
{
public:
    uint32_t CreateNew(const std::wstring &path) override
    {
        FUZZ_CHECK(m_open.empty());
        if (files.count(path) != 0)
            return 80;
        files[path] = 0;
        m_open = path;
        return 0;
    }
    uint32_t Write(const uint8_t *data, size_t size, size_t *written) override
    {
        FUZZ_CHECK(!m_open.empty());
        FUZZ_CHECK(size == 0 || data != nullptr);
        // Touch every byte, so that the sanitizers check the whole range handed out.
        uint8_t sum = 0;
        for (size_t i = 0; i < size; ++i)
            sum = static_cast<uint8_t>(sum + data[i]);
        checksum += sum;
        files[m_open] += size;
        *written = size;
        return 0;
    }
    void Close() override { m_open.clear(); }
    uint32_t Remove(const std::wstring &path) override
    {
        files.erase(path);
        return 0;
    }

    std::map<std::wstring, uint64_t> files;
    unsigned checksum = 0;

private:
    std::wstring m_open;
};

void Quiet(const wchar_t *)
{
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 0xFFFFFFFFu)
        return 0;
    SetTraceSink(Quiet);

    MemoryFiles files;
    CArchiveReader reader;
    reader.Open(data, static_cast<uint32_t>(size));
    reader.SetItemFiles(&files);
    FUZZ_CHECK(reader.Position() >= 0 && reader.Position() <= static_cast<int64_t>(size));

    const uint32_t count = reader.GetItemCount();
    for (uint32_t i = 0; i < count && i < 64; ++i)
    {
        std::wstring name;
        const size_t length = reader.GetItemName(i, name);
        FUZZ_CHECK(name.find(L'\0') == std::wstring::npos);
        FUZZ_CHECK(name.size() < length || length == 0);
        // What the installer would make of the name: below the folder, or nothing.
        const std::wstring path = ItemPath(L"C:\\vp1.tmp", name);
        FUZZ_CHECK(path.empty() || path.compare(0, 11, L"C:\\vp1.tmp\\") == 0);
        FUZZ_CHECK(path.find(L"\\..\\") == std::wstring::npos);

        const CArchiveItem item = reader.GetItem(i);
        if (item.isDir)
            continue;
        const std::wstring target = L"item" + std::to_wstring(i);
        const int result = reader.ExtractItem(i, target);
        FUZZ_CHECK(reader.Position() >= 0 && reader.Position() <= static_cast<int64_t>(size));
        if (result == 1)
            FUZZ_CHECK(files.files.count(target) == 1 && files.files[target] == item.size);
        else
            FUZZ_CHECK(files.files.count(target) == 0);
    }
    FUZZ_CHECK(reader.GetItemCount() == count);
    reader.Close();
    FUZZ_CHECK(reader.GetItemCount() == 0);
    return 0;
}
