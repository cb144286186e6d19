// The package reader on real 7z archives made with 7zz at build time (make_test_archives.py):
// every item byte-exact, damaged and foreign input failing with no file written, the memory
// stream's rules. Built natively under the sanitizers and for Windows under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "archivereader.h"
#include "tracemsg.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

// Names and paths the reader takes are UTF-16 code units, one per wchar_t.
std::wstring Units(const fs::path &path)
{
#ifdef _WIN32
    return path.wstring();
#else
    const std::u16string utf16 = path.u16string();
    return std::wstring(utf16.begin(), utf16.end());
#endif
}

fs::path PathOf(const std::wstring &units)
{
#ifdef _WIN32
    return fs::path(units);
#else
    return fs::path(std::u16string(units.begin(), units.end()));
#endif
}

fs::path Archives()
{
    return fs::u8path(TEST_ARCHIVES);
}

Bytes ReadFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path &path, const Bytes &bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// What the source folder of an archive holds: relative name with "/" -> directory or bytes.
struct Entry
{
    bool isDir;
    Bytes bytes;
};

std::map<std::wstring, Entry> SourceTree(const fs::path &root)
{
    std::map<std::wstring, Entry> tree;
    for (const fs::directory_entry &e : fs::recursive_directory_iterator(root))
    {
        std::wstring name = Units(e.path().lexically_relative(root).generic_u16string());
        std::replace(name.begin(), name.end(), L'\\', L'/');
        tree[name] = Entry{e.is_directory(), e.is_directory() ? Bytes() : ReadFile(e.path())};
    }
    return tree;
}

std::vector<std::wstring> g_traces;

void RecordTrace(const wchar_t *line)
{
    g_traces.push_back(line);
}

// A fresh, empty folder per test, removed afterwards; traces recorded meanwhile.
class ArchiveTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("archive-test-") + info->test_suite_name() + "-" + info->name();
        std::replace(name.begin(), name.end(), '/', '-');
        m_dir = fs::temp_directory_path() / name;
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        g_traces.clear();
        m_previousSink = SetTraceSink(RecordTrace);
    }

    void TearDown() override
    {
        SetTraceSink(m_previousSink);
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    // The target path of item i in the test folder (flat, so no folders are needed).
    std::wstring Target(uint32_t i) const { return Units(m_dir / ("item" + std::to_string(i))); }

    size_t FilesInDir() const
    {
        return static_cast<size_t>(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()));
    }

    // Whatever happens to the archive's bytes: an item either extracts to exactly its bytes or
    // fails with no file left; the stream never leaves the package.
    void ExpectCleanOutcome(const Bytes &damaged, const Bytes &original, const char *what)
    {
        CArchiveReader good;
        good.Open(original.data(), static_cast<uint32_t>(original.size()));

        CArchiveReader reader;
        reader.Open(damaged.data(), static_cast<uint32_t>(damaged.size()));
        for (uint32_t i = 0; i < reader.GetItemCount(); ++i)
        {
            if (reader.GetItem(i).isDir)
                continue;
            const std::wstring target = Target(i);
            const int result = reader.ExtractItem(i, target);
            EXPECT_GE(reader.Position(), 0) << what;
            EXPECT_LE(reader.Position(), static_cast<int64_t>(damaged.size())) << what;
            if (result == 0)
            {
                EXPECT_FALSE(fs::exists(PathOf(target))) << what << ", item " << i;
                continue;
            }
            // Extracted: then it is the item of the undamaged archive with the same name.
            std::wstring name, goodName;
            reader.GetItemName(i, name);
            bool matched = false;
            for (uint32_t j = 0; j < good.GetItemCount() && !matched; ++j)
            {
                good.GetItemName(j, goodName);
                if (goodName != name || good.GetItem(j).isDir)
                    continue;
                const std::wstring reference = target + L".good";
                ASSERT_EQ(good.ExtractItem(j, reference), 1);
                EXPECT_TRUE(ReadFile(PathOf(target)) == ReadFile(PathOf(reference))) << what << ", item " << i;
                matched = true;
            }
            EXPECT_TRUE(matched) << what << ": item " << i << " extracted under a name the archive lacks";
        }
    }

    fs::path m_dir;
    TraceSink m_previousSink = nullptr;
};

class ArchiveContent : public ArchiveTest, public ::testing::WithParamInterface<const char *>
{
};

// Every item of the archive: its name in the source tree, its kind, its bytes.
TEST_P(ArchiveContent, EveryItemExtractsByteExact)
{
    const std::string name = GetParam();
    const Bytes archive = ReadFile(Archives() / (name + ".7z"));
    const std::map<std::wstring, Entry> tree = SourceTree(Archives() / name);
    ASSERT_FALSE(archive.empty());

    CArchiveReader reader;
    reader.Open(archive.data(), static_cast<uint32_t>(archive.size()));
    ASSERT_EQ(reader.GetItemCount(), tree.size());

    std::vector<std::wstring> seen;
    uint32_t nonEmptyFiles = 0;
    for (uint32_t i = 0; i < reader.GetItemCount(); ++i)
    {
        std::wstring item;
        const size_t length = reader.GetItemName(i, item);
        EXPECT_EQ(length, item.size() + 1);
        const auto it = tree.find(item);
        ASSERT_NE(it, tree.end()) << "item " << i << " not in the source tree";
        seen.push_back(item);
        const CArchiveItem record = reader.GetItem(i);
        EXPECT_EQ(record.isDir, it->second.isDir) << "item " << i;
        if (record.isDir)
            continue;
        EXPECT_EQ(record.size, it->second.bytes.size()) << "item " << i;
        nonEmptyFiles += !it->second.bytes.empty();

        // Under its own name, in its own folders: the non-ASCII names reach the file system.
        const fs::path target = m_dir / PathOf(item);
        fs::create_directories(target.parent_path());
        ASSERT_EQ(reader.ExtractItem(i, Units(target)), 1) << "item " << i;
        EXPECT_TRUE(ReadFile(target) == it->second.bytes) << "item " << i;
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_TRUE(std::adjacent_find(seen.begin(), seen.end()) == seen.end()) << "a name twice";

    // One solid block is decoded once; without solid blocks each non-empty file has its own.
    EXPECT_EQ(reader.BlocksDecoded(), name == "nonsolid" ? nonEmptyFiles : 1u);
    reader.Close();
    EXPECT_EQ(reader.GetItemCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Archives, ArchiveContent, ::testing::Values("mixed", "nonsolid", "package"));

TEST_F(ArchiveTest, ExistingTargetIsNotOverwritten)
{
    const Bytes archive = ReadFile(Archives() / "package.7z");
    CArchiveReader reader;
    reader.Open(archive.data(), static_cast<uint32_t>(archive.size()));
    uint32_t file = 0;
    while (file < reader.GetItemCount() && reader.GetItem(file).isDir)
        ++file;
    ASSERT_LT(file, reader.GetItemCount());

    const Bytes keep = {'k', 'e', 'e', 'p'};
    WriteFile(PathOf(Target(file)), keep);
    EXPECT_EQ(reader.ExtractItem(file, Target(file)), 0);
    EXPECT_TRUE(ReadFile(PathOf(Target(file))) == keep);
    ASSERT_FALSE(g_traces.empty());
    EXPECT_EQ(g_traces.back(), L"create file fail![80]\n");
}

std::vector<size_t> CutPoints(size_t size)
{
    return {0, 1, 6, 31, 32, 33, 100, size / 4, size / 2, size - 200, size - 40, size - 2, size - 1};
}

}  // namespace

TEST_F(ArchiveTest, TruncatedArchiveFailsCleanly)
{
    const Bytes original = ReadFile(Archives() / "mixed.7z");
    for (size_t cut : CutPoints(original.size()))
    {
        const Bytes damaged(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(cut));
        CArchiveReader reader;
        reader.Open(damaged.data(), static_cast<uint32_t>(damaged.size()));
        // The header lies at the end: without it nothing is listed.
        EXPECT_EQ(reader.GetItemCount(), 0u) << "cut at " << cut;
        EXPECT_LE(reader.Position(), static_cast<int64_t>(cut));
    }
    EXPECT_EQ(FilesInDir(), 0u);
}

TEST_F(ArchiveTest, BitFlipsFailCleanly)
{
    for (const char *name : {"mixed.7z", "unsafe.7z"})
    {
        const Bytes original = ReadFile(Archives() / name);
        // Positions spread over the start header, the packed streams and the end header.
        std::vector<size_t> positions = {0, 5, 6, 8, 12, 20, 28, 32, 33, 40};
        for (size_t step = 1; step < 48; ++step)
            positions.push_back(original.size() * step / 48);
        for (size_t back = 1; back <= 64; back += 7)
            positions.push_back(original.size() - back);
        for (size_t position : positions)
        {
            Bytes damaged = original;
            damaged[position] ^= static_cast<uint8_t>(1u << (position % 8));
            const std::string what = std::string(name) + ", bit flipped at " + std::to_string(position);
            ExpectCleanOutcome(damaged, original, what.c_str());
            std::error_code ignored;
            for (const fs::directory_entry &e : fs::directory_iterator(m_dir))
                fs::remove_all(e.path(), ignored);
        }
    }
}

TEST_F(ArchiveTest, ForeignInputListsNothing)
{
    const std::vector<std::pair<const char *, Bytes>> inputs = {
        // name                          bytes
        {"empty", Bytes()},
        {"one byte", Bytes{'7'}},
        {"signature only", Bytes{'7', 'z', 0xBC, 0xAF, 0x27, 0x1C}},
        {"signature, zero header", [] {
             Bytes b = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C, 0, 4};
             b.resize(32, 0);
             return b;
         }()},
        {"zip", Bytes{'P', 'K', 3, 4, 20, 0, 0, 0, 8, 0}},
        {"text", Bytes(200, 'x')},
    };
    for (const auto &input : inputs)
    {
        CArchiveReader reader;
        reader.Open(input.second.data(), static_cast<uint32_t>(input.second.size()));
        EXPECT_EQ(reader.GetItemCount(), 0u) << input.first;
        std::wstring name = L"sentinel";
        EXPECT_EQ(reader.GetItemName(0, name), 0u) << input.first;
        EXPECT_TRUE(name.empty());
        EXPECT_EQ(reader.ExtractItem(0, Target(0)), 0) << input.first;
        reader.Close();
    }
    EXPECT_EQ(FilesInDir(), 0u);
}

// The decoder may not take more than the cap in one allocation: the solid block of huge.7z
// unpacks to one byte more than the cap.
TEST_F(ArchiveTest, BlockAboveTheAllocationCapIsRefused)
{
    const Bytes archive = ReadFile(Archives() / "huge.7z");
    CArchiveReader reader;
    reader.Open(archive.data(), static_cast<uint32_t>(archive.size()));
    ASSERT_EQ(reader.GetItemCount(), 1u);
    EXPECT_EQ(reader.GetItem(0).size, CArchiveReader::kMaxAllocation + 1);
    EXPECT_EQ(reader.ExtractItem(0, Target(0)), 0);
    EXPECT_EQ(FilesInDir(), 0u);
    ASSERT_GE(g_traces.size(), 2u);
    EXPECT_EQ(g_traces[g_traces.size() - 2], L"allocation refused![67108865]\n");
    EXPECT_EQ(g_traces.back(), L"uncompressing fail![2]\n");
}

// Item files that pass everything to the platform's but can break the write.
class BreakingFiles : public CItemFiles
{
public:
    enum Mode
    {
        WRITE_HALF_THEN_FAIL,
        WRITE_HALF_SILENTLY,
    };
    explicit BreakingFiles(Mode mode) : m_mode(mode), m_real(PlatformItemFiles()) {}

    uint32_t CreateNew(const std::wstring &path) override { return m_real.CreateNew(path); }
    uint32_t Write(const uint8_t *data, size_t size, size_t *written) override
    {
        const uint32_t error = m_real.Write(data, size / 2, written);
        if (error != 0)
            return error;
        return m_mode == WRITE_HALF_THEN_FAIL ? 112 : 0;
    }
    void Close() override { m_real.Close(); }
    uint32_t Remove(const std::wstring &path) override
    {
        ++removed;
        return m_real.Remove(path);
    }
    int removed = 0;

private:
    Mode m_mode;
    CItemFiles &m_real;
};

TEST_F(ArchiveTest, FailedOrShortWriteLeavesNoFile)
{
    const Bytes archive = ReadFile(Archives() / "mixed.7z");
    const struct
    {
        BreakingFiles::Mode mode;
        const wchar_t *trace;
    } rows[] = {
        // mode                                 trace
        {BreakingFiles::WRITE_HALF_THEN_FAIL, L"write file fail![112]\n"},
        {BreakingFiles::WRITE_HALF_SILENTLY, L"write file fail![0]\n"},
    };
    for (const auto &row : rows)
    {
        CArchiveReader reader;
        reader.Open(archive.data(), static_cast<uint32_t>(archive.size()));
        BreakingFiles files(row.mode);
        reader.SetItemFiles(&files);
        uint32_t extracted = 0;
        for (uint32_t i = 0; i < reader.GetItemCount(); ++i)
        {
            if (reader.GetItem(i).isDir || reader.GetItem(i).size < 2)
                continue;
            g_traces.clear();
            EXPECT_EQ(reader.ExtractItem(i, Target(i)), 0) << "item " << i;
            EXPECT_FALSE(fs::exists(PathOf(Target(i)))) << "item " << i;
            ASSERT_FALSE(g_traces.empty());
            EXPECT_EQ(g_traces.back(), row.trace);
            ++extracted;
        }
        EXPECT_GT(extracted, 3u);
        EXPECT_EQ(files.removed, static_cast<int>(extracted));
        // Back to the platform's files: the same reader writes the whole item again.
        reader.SetItemFiles(nullptr);
        for (uint32_t i = 0; i < reader.GetItemCount(); ++i)
        {
            if (!reader.GetItem(i).isDir)
            {
                EXPECT_EQ(reader.ExtractItem(i, Target(i)), 1) << "item " << i;
            }
        }
        std::error_code ignored;
        for (const fs::directory_entry &e : fs::directory_iterator(m_dir))
            fs::remove_all(e.path(), ignored);
    }
}

// --- The memory stream -----------------------------------------------------------------------

class MemoryStream : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (int i = 0; i < 100; ++i)
            m_bytes.push_back(static_cast<uint8_t>(i));
        m_reader.Open(m_bytes.data(), static_cast<uint32_t>(m_bytes.size()));
    }

    int64_t SeekTo(int64_t position)
    {
        Int64 pos = position;
        CArchiveReader::ArchiveSeek(m_reader.Stream(), &pos, SZ_SEEK_SET);
        return pos;
    }

    Bytes m_bytes;
    CArchiveReader m_reader;
};

TEST_F(MemoryStream, SeekStaysInsideThePackage)
{
    const int64_t kMax = INT64_MAX;
    const int64_t kMin = INT64_MIN;
    const struct
    {
        int64_t start;
        int origin;
        int64_t offset;
        int64_t expected;
    } rows[] = {
        // start origin offset     position
        {40, SZ_SEEK_SET, 0, 0},
        {40, SZ_SEEK_SET, 99, 99},
        {40, SZ_SEEK_SET, 100, 100},
        {40, SZ_SEEK_SET, 101, 100},
        {40, SZ_SEEK_SET, kMax, 100},
        {40, SZ_SEEK_SET, -1, 0},
        {40, SZ_SEEK_SET, kMin, 0},
        {40, SZ_SEEK_CUR, 0, 40},
        {40, SZ_SEEK_CUR, 59, 99},
        {40, SZ_SEEK_CUR, 60, 100},
        {40, SZ_SEEK_CUR, kMax, 100},
        {40, SZ_SEEK_CUR, -10, 30},
        {40, SZ_SEEK_CUR, -40, 0},
        {40, SZ_SEEK_CUR, -41, 0},
        {40, SZ_SEEK_CUR, kMin, 0},
        {40, SZ_SEEK_END, 0, 100},
        {40, SZ_SEEK_END, 30, 70},
        {40, SZ_SEEK_END, 99, 1},
        {40, SZ_SEEK_END, 100, 0},
        {40, SZ_SEEK_END, kMax, 0},
        // Negative offsets from the end move back too, never past the end.
        {40, SZ_SEEK_END, -30, 70},
        {40, SZ_SEEK_END, -1, 99},
        {40, SZ_SEEK_END, -100, 0},
        {40, SZ_SEEK_END, kMin, 0},
        {40, 3, 10, 40},
    };
    for (const auto &row : rows)
    {
        SeekTo(row.start);
        Int64 pos = row.offset;
        EXPECT_EQ(CArchiveReader::ArchiveSeek(m_reader.Stream(), &pos, static_cast<ESzSeek>(row.origin)), SZ_OK);
        EXPECT_EQ(pos, row.expected) << "origin " << row.origin << ", offset " << row.offset;
        EXPECT_EQ(m_reader.Position(), row.expected) << "origin " << row.origin << ", offset " << row.offset;
    }
}

TEST_F(MemoryStream, ReadsAreExactAndNeverPassTheEnd)
{
    const struct
    {
        int64_t start;
        size_t size;
        SRes result;
        int64_t position;
    } rows[] = {
        // start size result               position after
        {0, 100, SZ_OK, 100},
        {90, 10, SZ_OK, 100},
        {90, 11, SZ_ERROR_INPUT_EOF, 90},
        {99, 1, SZ_OK, 100},
        {50, 0, SZ_OK, 50},
        {100, 0, SZ_ERROR_INPUT_EOF, 100},
        {100, 1, SZ_ERROR_INPUT_EOF, 100},
        {0, SIZE_MAX, SZ_ERROR_INPUT_EOF, 0},
    };
    for (const auto &row : rows)
    {
        SeekTo(row.start);
        Bytes buffer(row.size == SIZE_MAX ? 1 : row.size + 1, 0xEE);
        size_t size = row.size;
        EXPECT_EQ(CArchiveReader::ArchiveRead(m_reader.Stream(), buffer.data(), &size), row.result)
            << "start " << row.start << ", size " << row.size;
        EXPECT_EQ(m_reader.Position(), row.position) << "start " << row.start;
        if (row.result == SZ_OK)
        {
            EXPECT_EQ(size, row.size);
            EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(row.size),
                                   m_bytes.begin() + row.start));
        }
        else
        {
            EXPECT_EQ(size, 0u);
            EXPECT_EQ(buffer[0], 0xEE) << "nothing copied";
        }
        // The byte after the request is never touched.
        if (row.size != SIZE_MAX)
        {
            EXPECT_EQ(buffer[row.size], 0xEE);
        }
    }
}
