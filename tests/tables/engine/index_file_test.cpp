#include "tables/engine/index_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tables/engine/error.h"
#include "tables/engine/fileio.h"

namespace pulpex::engine {
namespace {

using Key = std::vector<std::byte>;
using Entry = std::pair<Key, std::uint32_t>;
using Model = std::set<Entry>;  // std::byte compares unsigned, like memcmp

// Format facts the damage tests rely on (docs/index-format.md).
constexpr std::uint64_t kPage = 4096;
constexpr std::uint64_t kFirstTreePage = 3;
constexpr std::uint64_t kCounterOffset = 16;

class TempDir {
  public:
    TempDir() {
        char name[] = "/tmp/pulpex-index-XXXXXX";
        if (::mkdtemp(name) == nullptr) std::abort();
        path_ = name;
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// A key of `length` bytes whose order follows v (big-endian prefix), with a filler tail.
Key makeKey(std::uint64_t v, std::size_t length) {
    Key k(length);
    for (std::size_t i = 0; i < length; ++i) {
        const std::size_t shift = i < 8 ? 8 * (std::min<std::size_t>(length, 8) - 1 - i) : 0;
        k[i] = i < 8 ? std::byte((v >> shift) & 0xFF) : std::byte((v * 31 + i) & 0xFF);
    }
    return k;
}

IndexTagInfo tagInfo(const std::string& name, std::uint16_t keyLength) {
    IndexTagInfo info;
    info.name = name;
    info.keyLength = keyLength;
    info.expression = "UPPER(" + name + ")";
    info.flags = 3;
    return info;
}

Model scanForward(IndexFile& index, int tag) {
    Model out;
    auto c = index.cursor(tag);
    for (bool ok = c.seekFirst(); ok; ok = c.next())
        out.emplace(Key(c.key().begin(), c.key().end()), c.recno());
    return out;
}

std::vector<Entry> scanBackward(IndexFile& index, int tag) {
    std::vector<Entry> out;
    auto c = index.cursor(tag);
    for (bool ok = c.seekLast(); ok; ok = c.prev())
        out.emplace_back(Key(c.key().begin(), c.key().end()), c.recno());
    return out;
}

Entry current(const IndexFile::Cursor& c) {
    return {Key(c.key().begin(), c.key().end()), c.recno()};
}

void pokeBytes(const std::string& path, std::uint64_t offset, const std::vector<std::byte>& bytes) {
    File f = File::open(path, File::Mode::ReadWrite);
    f.writeAt(offset, bytes);
}

// Runs body and reports whether it threw EDatabaseError; any other exception fails the test.
template <class F>
bool throwsDatabaseError(F&& body) {
    try {
        body();
        return false;
    } catch (const EDatabaseError&) {
        return true;
    }
}

// ---------------------------------------------------------------------------------------------
// Tag directory

TEST(IndexFileTags, AddFindListAndReopen) {
    TempDir dir;
    const std::string path = dir.file("T.MDX");
    {
        auto index = IndexFile::create(path);
        EXPECT_TRUE(index->tags().empty());
        EXPECT_EQ(index->findTag("NAME"), -1);
        EXPECT_EQ(index->addTag(tagInfo("Name", 10)), 0);
        EXPECT_EQ(index->addTag(tagInfo("CITY", 20)), 1);
        EXPECT_EQ(index->findTag("name"), 0);
        EXPECT_EQ(index->findTag("NAME"), 0);
        EXPECT_EQ(index->findTag("city"), 1);
        EXPECT_TRUE(index->insert(1, makeKey(7, 20), 1));
        EXPECT_TRUE(throwsDatabaseError([&] { index->addTag(tagInfo("NAME", 4)); }));
        EXPECT_TRUE(throwsDatabaseError([&] { index->addTag(tagInfo("", 4)); }));
        EXPECT_TRUE(throwsDatabaseError([&] { index->addTag(tagInfo("ELEVENCHARS", 4)); }));
        EXPECT_TRUE(throwsDatabaseError([&] { index->addTag(tagInfo("A B", 4)); }));
        EXPECT_TRUE(throwsDatabaseError([&] { index->addTag(tagInfo("ZERO", 0)); }));
        EXPECT_TRUE(throwsDatabaseError([&] { index->addTag(tagInfo("HUGE", 241)); }));
    }
    auto index = IndexFile::open(path, false);
    const auto tags = index->tags();
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(tags[0].name, "Name");
    EXPECT_EQ(tags[0].expression, "UPPER(Name)");
    EXPECT_EQ(tags[0].flags, 3);
    EXPECT_EQ(tags[0].keyLength, 10);
    EXPECT_EQ(tags[0].entries, 0u);
    EXPECT_EQ(tags[1].keyLength, 20);
    EXPECT_EQ(tags[1].entries, 1u);
    index->verify();
    // Read-only: every modification refuses.
    EXPECT_TRUE(throwsDatabaseError([&] { index->insert(0, makeKey(1, 10), 1); }));
    EXPECT_TRUE(throwsDatabaseError([&] { index->addTag(tagInfo("X", 4)); }));
    EXPECT_TRUE(throwsDatabaseError([&] { index->dropAllTags(); }));
}

TEST(IndexFileTags, CreateFailsWhenTheFileExists) {
    TempDir dir;
    IndexFile::create(dir.file("T.MDX"));
    EXPECT_TRUE(throwsDatabaseError([&] { IndexFile::create(dir.file("T.MDX")); }));
    EXPECT_TRUE(throwsDatabaseError([&] { IndexFile::open(dir.file("NONE.MDX"), true); }));
}

TEST(IndexFileTags, AtMost47TagsAndDropAll) {
    TempDir dir;
    auto index = IndexFile::create(dir.file("T.MDX"));
    for (int i = 0; i < kMaxIndexTags; ++i) {
        EXPECT_EQ(index->addTag(tagInfo("TAG" + std::to_string(i), 4)), i);
        index->insert(i, makeKey(std::uint64_t(i), 4), 1);
    }
    EXPECT_TRUE(throwsDatabaseError([&] { index->addTag(tagInfo("ONEMORE", 4)); }));
    EXPECT_EQ(index->findTag("tag46"), 46);
    index->verify();
    index->dropAllTags();
    EXPECT_TRUE(index->tags().empty());
    EXPECT_TRUE(throwsDatabaseError([&] { index->insert(0, makeKey(1, 4), 1); }));
    EXPECT_TRUE(throwsDatabaseError([&] { index->cursor(0); }));
    EXPECT_EQ(index->addTag(tagInfo("AGAIN", 4)), 0);
    index->verify();
}

TEST(IndexFileTags, ClearTagKeepsTheTagAndReusesPages) {
    TempDir dir;
    auto index = IndexFile::create(dir.file("T.MDX"));
    const int a = index->addTag(tagInfo("A", 8));
    const int b = index->addTag(tagInfo("B", 8));
    for (std::uint32_t i = 0; i < 5000; ++i) {
        index->insert(a, makeKey(i, 8), i);
        index->insert(b, makeKey(i, 8), i);
    }
    const auto size = std::filesystem::file_size(dir.file("T.MDX"));
    index->clearTag(a);
    EXPECT_EQ(index->tags()[a].entries, 0u);
    EXPECT_EQ(index->tags()[b].entries, 5000u);
    EXPECT_FALSE(index->cursor(a).seekFirst());
    index->verify();
    for (std::uint32_t i = 0; i < 5000; ++i)
        index->insert(a, makeKey(i, 8), i);
    EXPECT_EQ(std::filesystem::file_size(dir.file("T.MDX")), size);  // freed pages reused
    index->verify();
}

// ---------------------------------------------------------------------------------------------
// Insert, erase and seek against a model

TEST(IndexFileModel, RandomOperationsMatchASet) {
    TempDir dir;
    auto index = IndexFile::create(dir.file("T.MDX"));
    const std::size_t lengths[] = {4, 8, 100};
    std::vector<Model> models(3);
    for (int t = 0; t < 3; ++t)
        index->addTag(tagInfo("K" + std::to_string(lengths[t]), std::uint16_t(lengths[t])));

    std::mt19937 rng(12345);
    auto randomEntry = [&](int t) {
        // A small key domain gives many duplicate keys with different recnos.
        return Entry{makeKey(rng() % 700, lengths[t]), std::uint32_t(rng() % 3000)};
    };
    for (int op = 1; op <= 40000; ++op) {
        const int t = int(rng() % 3);
        Model& m = models[t];
        const unsigned dice = rng() % 100;
        if (dice < 65 || m.empty()) {
            const Entry e = randomEntry(t);
            EXPECT_EQ(index->insert(t, e.first, e.second), m.insert(e).second);
        } else if (dice < 90) {
            // Erase an existing entry.
            auto it = m.lower_bound(randomEntry(t));
            if (it == m.end()) it = m.begin();
            EXPECT_TRUE(index->erase(t, it->first, it->second));
            m.erase(it);
        } else {
            const Entry e = randomEntry(t);
            EXPECT_EQ(index->erase(t, e.first, e.second), m.erase(e) == 1);
        }
        if (op % 10000 == 0) {
            index->verify();
            for (int k = 0; k < 3; ++k) {
                EXPECT_EQ(index->tags()[k].entries, models[k].size());
                EXPECT_EQ(scanForward(*index, k), models[k]);
            }
        }
    }
    // Seeks: the first entry >= (key, recno).
    for (int i = 0; i < 3000; ++i) {
        const int t = int(rng() % 3);
        const Entry probe = randomEntry(t);
        auto c = index->cursor(t);
        const bool ok = c.seek(probe.first, probe.second);
        auto it = models[t].lower_bound(probe);
        ASSERT_EQ(ok, it != models[t].end());
        if (ok) {
            EXPECT_EQ(current(c), *it);
        }
    }
    // Erase everything: the trees shrink back to empty and pages go to the free list.
    for (int t = 0; t < 3; ++t)
        for (const Entry& e : models[t])
            ASSERT_TRUE(index->erase(t, e.first, e.second));
    index->verify();
    for (int t = 0; t < 3; ++t)
        EXPECT_FALSE(index->cursor(t).seekFirst());
}

TEST(IndexFileModel, WrongKeyLengthsThrow) {
    TempDir dir;
    auto index = IndexFile::create(dir.file("T.MDX"));
    const int t = index->addTag(tagInfo("T", 8));
    EXPECT_TRUE(throwsDatabaseError([&] { index->insert(t, makeKey(1, 7), 1); }));
    EXPECT_TRUE(throwsDatabaseError([&] { index->erase(t, makeKey(1, 9), 1); }));
    EXPECT_TRUE(throwsDatabaseError([&] { index->insert(5, makeKey(1, 8), 1); }));
    EXPECT_TRUE(throwsDatabaseError([&] { index->cursor(t).seek(makeKey(1, 9)); }));
    EXPECT_TRUE(index->insert(t, makeKey(1, 8), 1));
    EXPECT_FALSE(index->insert(t, makeKey(1, 8), 1));  // the very same entry
    EXPECT_TRUE(index->insert(t, makeKey(1, 8), 2));   // same key, other recno
    EXPECT_FALSE(index->erase(t, makeKey(1, 8), 3));
}

TEST(IndexFileModel, ShortSeekKeyIsAPrefix) {
    TempDir dir;
    auto index = IndexFile::create(dir.file("T.MDX"));
    const int t = index->addTag(tagInfo("T", 6));
    auto text = [](const char* s) {
        Key k(6);
        std::memcpy(k.data(), s, 6);
        return k;
    };
    index->insert(t, text("ABCDEF"), 9);
    index->insert(t, text("ABDAAA"), 1);
    index->insert(t, text("ABDAAA"), 2);
    auto c = index->cursor(t);
    const std::byte prefix[] = {std::byte{'A'}, std::byte{'B'}, std::byte{'D'}};
    ASSERT_TRUE(c.seek(prefix));
    EXPECT_EQ(current(c), Entry(text("ABDAAA"), 1));
    ASSERT_TRUE(c.seek(text("ABDAAA"), 2));
    EXPECT_EQ(c.recno(), 2u);
    EXPECT_FALSE(c.seek(text("ABDAAA"), 3));
}

// ---------------------------------------------------------------------------------------------
// Cursors

TEST(IndexFileCursor, WalksTheWholeTagBothWays) {
    TempDir dir;
    auto index = IndexFile::create(dir.file("T.MDX"));
    const int t = index->addTag(tagInfo("T", 8));
    Model model;
    std::mt19937 rng(7);
    for (int i = 0; i < 20000; ++i) {
        Entry e{makeKey(rng() % 5000, 8), std::uint32_t(rng())};
        if (model.insert(e).second) index->insert(t, e.first, e.second);
    }
    EXPECT_EQ(scanForward(*index, t), model);
    const auto back = scanBackward(*index, t);
    EXPECT_TRUE(std::equal(back.begin(), back.end(), model.rbegin(), model.rend()));

    auto c = index->cursor(t);
    ASSERT_TRUE(c.seekFirst());
    EXPECT_FALSE(c.prev());  // before the first: invalid
    EXPECT_FALSE(c.valid());
    EXPECT_FALSE(c.next());  // stays invalid until a seek
    ASSERT_TRUE(c.seekLast());
    EXPECT_EQ(current(c), *model.rbegin());
    EXPECT_FALSE(c.next());
    EXPECT_FALSE(c.valid());
    // Turning around in the middle.
    ASSERT_TRUE(c.seekLast());
    ASSERT_TRUE(c.prev());
    ASSERT_TRUE(c.prev());
    ASSERT_TRUE(c.next());
    EXPECT_EQ(current(c), *std::next(model.rbegin()));
}

TEST(IndexFileCursor, EmptyTag) {
    TempDir dir;
    auto index = IndexFile::create(dir.file("T.MDX"));
    auto c = index->cursor(index->addTag(tagInfo("T", 4)));
    EXPECT_FALSE(c.seekFirst());
    EXPECT_FALSE(c.seekLast());
    EXPECT_FALSE(c.seek(makeKey(1, 4)));
    EXPECT_FALSE(c.next());
}

TEST(IndexFileCursor, SurvivesChangesBetweenSteps) {
    TempDir dir;
    auto index = IndexFile::create(dir.file("T.MDX"));
    const int t = index->addTag(tagInfo("T", 4));
    for (std::uint32_t i = 0; i < 1000; ++i)
        index->insert(t, makeKey(i * 10, 4), 1);
    auto c = index->cursor(t);
    ASSERT_TRUE(c.seek(makeKey(500, 4)));
    // An entry inserted right after the current one is the next one.
    index->insert(t, makeKey(505, 4), 1);
    ASSERT_TRUE(c.next());
    EXPECT_EQ(current(c), Entry(makeKey(505, 4), 1));
    // The current entry erased: next() gives its successor, prev() its predecessor.
    index->erase(t, makeKey(505, 4), 1);
    ASSERT_TRUE(c.next());
    EXPECT_EQ(current(c), Entry(makeKey(510, 4), 1));
    index->erase(t, makeKey(510, 4), 1);
    ASSERT_TRUE(c.prev());
    EXPECT_EQ(current(c), Entry(makeKey(500, 4), 1));
    // The next entries erased.
    index->erase(t, makeKey(520, 4), 1);
    index->erase(t, makeKey(530, 4), 1);
    ASSERT_TRUE(c.next());
    EXPECT_EQ(current(c), Entry(makeKey(540, 4), 1));
    // Everything erased after the current one: next() ends; the tag cleared: prev() ends.
    ASSERT_TRUE(c.seek(makeKey(9980, 4)));
    index->erase(t, makeKey(9990, 4), 1);
    EXPECT_FALSE(c.next());
    ASSERT_TRUE(c.seek(makeKey(100, 4)));
    index->clearTag(t);
    EXPECT_FALSE(c.prev());
    // The tag gone altogether.
    index->insert(t, makeKey(1, 4), 1);
    ASSERT_TRUE(c.seekFirst());
    index->dropAllTags();
    EXPECT_TRUE(throwsDatabaseError([&] { c.next(); }));
}

TEST(IndexFileCursor, RandomChangesDuringAScan) {
    TempDir dir;
    auto index = IndexFile::create(dir.file("T.MDX"));
    const int t = index->addTag(tagInfo("T", 8));
    Model model;
    std::mt19937 rng(99);
    for (int i = 0; i < 5000; ++i) {
        Entry e{makeKey(rng() % 20000, 8), std::uint32_t(rng() % 4)};
        if (model.insert(e).second) index->insert(t, e.first, e.second);
    }
    for (int round = 0; round < 2; ++round) {
        const bool forward = round == 0;
        auto c = index->cursor(t);
        bool ok = forward ? c.seekFirst() : c.seekLast();
        while (ok) {
            const Entry at = current(c);
            // Modify around the cursor (erase the current entry now and then).
            for (int k = 0; k < 3; ++k) {
                Entry e{makeKey(rng() % 20000, 8), std::uint32_t(rng() % 4)};
                if (rng() % 2) {
                    if (model.insert(e).second) index->insert(t, e.first, e.second);
                } else if (model.erase(e)) {
                    index->erase(t, e.first, e.second);
                }
            }
            if (rng() % 10 == 0 && model.erase(at)) index->erase(t, at.first, at.second);
            ok = forward ? c.next() : c.prev();
            if (forward) {
                auto it = model.upper_bound(at);
                ASSERT_EQ(ok, it != model.end());
                if (ok) {
                    ASSERT_EQ(current(c), *it);
                }
            } else {
                auto it = model.lower_bound(at);
                ASSERT_EQ(ok, it != model.begin());
                if (ok) {
                    ASSERT_EQ(current(c), *std::prev(it));
                }
            }
        }
    }
    index->verify();
    EXPECT_EQ(scanForward(*index, t), model);
}

// ---------------------------------------------------------------------------------------------
// Bulk build

TEST(IndexFileBuild, LargeBuildVerifiesAndMatches) {
    TempDir dir;
    const std::string path = dir.file("T.MDX");
    auto index = IndexFile::create(path);
    const int t = index->addTag(tagInfo("T", 8));
    const int other = index->addTag(tagInfo("O", 4));
    index->insert(other, makeKey(1, 4), 1);

    constexpr std::uint32_t kCount = 300000;
    std::vector<std::uint32_t> order(kCount);
    for (std::uint32_t i = 0; i < kCount; ++i)
        order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(5));
    IndexEntries entries(8);
    entries.reserve(kCount);
    for (std::uint32_t i : order)
        entries.add(makeKey(i / 3, 8), i);  // keys repeat 3 times
    index->build(t, std::move(entries));
    index->verify();
    EXPECT_EQ(index->tags()[t].entries, kCount);

    auto c = index->cursor(t);
    std::uint32_t n = 0;
    for (bool ok = c.seekFirst(); ok; ok = c.next(), ++n) {
        ASSERT_EQ(c.recno(), n);
        ASSERT_EQ(Key(c.key().begin(), c.key().end()), makeKey(n / 3, 8));
    }
    EXPECT_EQ(n, kCount);
    ASSERT_TRUE(c.seek(makeKey(77777, 8), 0));
    EXPECT_EQ(c.recno(), 77777u * 3);

    // Modifications after a build, then rebuilding the same tag reuses its pages.
    for (std::uint32_t i = 0; i < 2000; ++i) {
        index->insert(t, makeKey(i * 7, 8), kCount + i);
        index->erase(t, makeKey(i * 11 / 3, 8), i * 11);
    }
    index->verify();
    std::vector<Entry> pairs;
    for (std::uint32_t i = 0; i < kCount; i += 2)
        pairs.emplace_back(makeKey(i, 8), i);
    pairs.push_back(pairs.front());  // a repeated entry is stored once
    index->build(t, pairs);
    const auto size = std::filesystem::file_size(path);
    index->build(t, pairs);
    EXPECT_EQ(std::filesystem::file_size(path), size);
    index->verify();
    EXPECT_EQ(index->tags()[t].entries, kCount / 2);
    EXPECT_EQ(index->tags()[other].entries, 1u);
    index->build(t, IndexEntries(8));
    EXPECT_FALSE(index->cursor(t).seekFirst());
    index->verify();
    EXPECT_TRUE(throwsDatabaseError([&] { index->build(t, IndexEntries(4)); }));
}

TEST(IndexFileBuild, LongKeysMakeDeepTrees) {
    TempDir dir;
    auto index = IndexFile::create(dir.file("T.MDX"));
    const int t = index->addTag(tagInfo("T", 240));  // 16 entries a page
    IndexEntries entries(240);
    for (std::uint32_t i = 0; i < 50000; ++i)
        entries.add(makeKey(i, 240), i);
    index->build(t, std::move(entries));
    index->verify();
    for (std::uint32_t i = 0; i < 50000; i += 3)
        ASSERT_TRUE(index->erase(t, makeKey(i, 240), i));
    for (std::uint32_t i = 0; i < 3000; ++i)
        ASSERT_TRUE(index->insert(t, makeKey(i, 240), i + 1));
    index->verify();
    EXPECT_EQ(scanForward(*index, t).size(), 50000u - 16667u + 3000u);
}

// ---------------------------------------------------------------------------------------------
// Damage

std::string buildSample(const TempDir& dir, const std::string& name) {
    const std::string path = dir.file(name);
    auto index = IndexFile::create(path);
    const int a = index->addTag(tagInfo("A", 8));
    const int b = index->addTag(tagInfo("B", 100));
    IndexEntries entries(8);
    for (std::uint32_t i = 0; i < 20000; ++i)
        entries.add(makeKey(i, 8), i);
    index->build(a, std::move(entries));
    for (std::uint32_t i = 0; i < 2000; ++i)
        index->insert(b, makeKey(i * 13 % 2000, 100), i);
    for (std::uint32_t i = 0; i < 2000; i += 5)
        index->erase(b, makeKey(i * 13 % 2000, 100), i);
    return path;
}

std::string messageOf(const std::string& path) {
    try {
        IndexFile::open(path, true);
    } catch (const EDatabaseError& e) {
        return e.what();
    }
    return "";
}

TEST(IndexFileDamage, NotAnIndexFile) {
    TempDir dir;
    const std::string path = buildSample(dir, "T.MDX");
    pokeBytes(path, 0, {std::byte{'X'}});
    EXPECT_NE(messageOf(path).find("nie jest plikiem indeksu"), std::string::npos);
    { File f = File::open(dir.file("EMPTY.MDX"), File::Mode::Create); }
    EXPECT_NE(messageOf(dir.file("EMPTY.MDX")).find("nie jest plikiem indeksu"), std::string::npos);
    const std::string other = buildSample(dir, "V.MDX");
    pokeBytes(other, 8, {std::byte{9}});  // unknown version
    EXPECT_NE(messageOf(other).find("nie jest plikiem indeksu"), std::string::npos);
}

TEST(IndexFileDamage, TruncatedFile) {
    TempDir dir;
    const std::string path = buildSample(dir, "T.MDX");
    std::filesystem::resize_file(path, 10 * kPage);
    EXPECT_NE(messageOf(path).find("jest uszkodzony"), std::string::npos);
    std::filesystem::resize_file(path, kPage + 100);  // inside the directory
    EXPECT_NE(messageOf(path).find("jest uszkodzony"), std::string::npos);
}

TEST(IndexFileDamage, BadDirectoryEntry) {
    TempDir dir;
    const std::string path = buildSample(dir, "T.MDX");
    pokeBytes(path, 256 + 12, {std::byte{0}, std::byte{0}});  // tag 0: key length 0
    EXPECT_NE(messageOf(path).find("jest uszkodzony"), std::string::npos);
    const std::string other = buildSample(dir, "U.MDX");
    pokeBytes(other, 256 + 256, {std::byte{'a'}, std::byte{0}});  // tag 1 renamed "a" = tag 0
    EXPECT_NE(messageOf(other).find("jest uszkodzony"), std::string::npos);
}

TEST(IndexFileDamage, SalvageTagsReadsTheDirectoryOfADamagedFile) {
    TempDir dir;
    const std::string path = buildSample(dir, "T.MDX");
    std::filesystem::resize_file(path, 3 * kPage);  // every tree page gone
    std::byte odd[8];
    putLE64(odd, 1);  // and a writer that died
    pokeBytes(path, kCounterOffset, {odd, odd + 8});
    EXPECT_TRUE(throwsDatabaseError([&] { IndexFile::open(path, true); }));
    const auto tags = IndexFile::salvageTags(path);
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(tags[0].name, "A");
    EXPECT_EQ(tags[0].expression, "UPPER(A)");
    EXPECT_EQ(tags[0].flags, 3);
    EXPECT_EQ(tags[0].keyLength, 8);
    EXPECT_EQ(tags[1].name, "B");
    EXPECT_EQ(tags[1].keyLength, 100);
    // Nothing to salvage: missing, not ours, a damaged directory entry.
    EXPECT_TRUE(IndexFile::salvageTags(dir.file("NONE.MDX")).empty());
    pokeBytes(path, 256 + 256 + 12, {std::byte{0xFF}, std::byte{0x7F}});  // tag 1: key length
    EXPECT_TRUE(IndexFile::salvageTags(path).empty());
    pokeBytes(path, 0, {std::byte{'X'}});
    EXPECT_TRUE(IndexFile::salvageTags(path).empty());
}

// Runs every kind of operation on a damaged file: each must succeed or throw EDatabaseError.
// Returns whether verify() found the damage.
bool exercise(const std::string& path) {
    std::unique_ptr<IndexFile> index;
    if (throwsDatabaseError([&] { index = IndexFile::open(path, true); })) return true;
    bool found = throwsDatabaseError([&] { index->verify(); });
    for (int t = 0; t < 2; ++t) {
        throwsDatabaseError([&] { index->tags(); });
        throwsDatabaseError([&] {
            auto c = index->cursor(t);
            for (bool ok = c.seekFirst(); ok; ok = c.next()) {
            }
        });
        throwsDatabaseError([&] {
            auto c = index->cursor(t);
            for (bool ok = c.seekLast(); ok; ok = c.prev()) {
            }
        });
        for (std::uint32_t i = 0; i < 50; ++i) {
            const std::size_t length = t == 0 ? 8 : 100;
            throwsDatabaseError([&] { index->cursor(t).seek(makeKey(i * 401, length), i); });
            throwsDatabaseError([&] { index->insert(t, makeKey(i * 397, length), 7); });
            throwsDatabaseError([&] { index->erase(t, makeKey(i * 409, length), i * 409); });
        }
    }
    found = throwsDatabaseError([&] { index->verify(); }) || found;
    throwsDatabaseError([&] { index->clearTag(0); });
    throwsDatabaseError([&] { index->build(1, IndexEntries(100)); });
    return found;
}

TEST(IndexFileDamage, GarbageInPagesNeverCrashes) {
    TempDir dir;
    const std::string clean = buildSample(dir, "CLEAN.MDX");
    const auto pages = std::filesystem::file_size(clean) / kPage;
    std::mt19937 rng(2024);
    int found = 0;
    constexpr int kRounds = 120;
    for (int round = 0; round < kRounds; ++round) {
        const std::string path = dir.file("R.MDX");
        std::filesystem::copy_file(clean, path, std::filesystem::copy_options::overwrite_existing);
        // A whole page of garbage, or a few bytes somewhere in the tree pages (headers mostly).
        const std::uint64_t no = kFirstTreePage + rng() % (pages - kFirstTreePage);
        if (round % 3 == 0) {
            std::vector<std::byte> junk(kPage);
            for (auto& b : junk)
                b = std::byte(rng() & 0xFF);
            pokeBytes(path, no * kPage, junk);
        } else {
            for (int k = 0; k < 4; ++k) {
                const std::uint64_t at = no * kPage + (rng() % 2 ? rng() % 16 : rng() % kPage);
                pokeBytes(path, at, {std::byte(rng() & 0xFF)});
            }
        }
        found += exercise(path) ? 1 : 0;
    }
    EXPECT_GT(found, kRounds / 2);
}

TEST(IndexFileDamage, GarbageInTheHeaderNeverCrashes) {
    TempDir dir;
    const std::string clean = buildSample(dir, "CLEAN.MDX");
    std::mt19937 rng(77);
    for (int round = 0; round < 80; ++round) {
        const std::string path = dir.file("R.MDX");
        std::filesystem::copy_file(clean, path, std::filesystem::copy_options::overwrite_existing);
        for (int k = 0; k < 3; ++k) {
            // Header fields after the counter, or the two used directory entries.
            const std::uint64_t at = rng() % 2 ? 24 + rng() % 16 : 256 + rng() % 512;
            pokeBytes(path, at, {std::byte(rng() & 0xFF)});
        }
        exercise(path);
    }
}

TEST(IndexFileDamage, CyclesAndSharedPagesAreFound) {
    TempDir dir;
    const std::string path = dir.file("T.MDX");
    {
        auto index = IndexFile::create(path);
        const int t = index->addTag(tagInfo("T", 4));
        IndexEntries entries(4);
        for (std::uint32_t i = 0; i < 3000; ++i)
            entries.add(makeKey(i, 4), i);
        index->build(t, std::move(entries));  // leaves are pages 3.., the root is the last page
        EXPECT_GT(std::filesystem::file_size(path) / kPage, 5u);
    }
    // The root's second child pointer: item 1 at 16 + 1 * (4 + 4 + 4), child after the entry.
    const auto pages = std::filesystem::file_size(path) / kPage;
    std::uint64_t root = 0;
    {
        File f = File::open(path, File::Mode::ReadOnly);
        std::byte entry[256];
        f.readExact(256, entry);
        root = getLE32(entry + 16);
    }
    ASSERT_GE(root, kFirstTreePage);
    ASSERT_LT(root, pages);
    std::byte child[4];
    putLE32(child, 3);  // the same leaf as child 0: a shared page
    pokeBytes(path, root * kPage + 16 + 12 + 8, {child, child + 4});
    auto index = IndexFile::open(path, true);
    EXPECT_TRUE(throwsDatabaseError([&] { index->verify(0); }));
    // Iteration stops with an error instead of visiting the shared leaf twice.
    EXPECT_TRUE(throwsDatabaseError([&] {
        auto c = index->cursor(0);
        for (bool ok = c.seekFirst(); ok; ok = c.next()) {
        }
    }));
    // A child pointing to the root itself: wrong level, found on the way down.
    putLE32(child, std::uint32_t(root));
    pokeBytes(path, root * kPage + 16 + 12 + 8, {child, child + 4});
    EXPECT_TRUE(throwsDatabaseError([&] { index->verify(0); }));
    EXPECT_TRUE(throwsDatabaseError([&] { index->insert(0, makeKey(500, 4), 9999); }));
}

TEST(IndexFileDamage, WriterThatDiedLeavesTheFileDamagedUntilDropAll) {
    TempDir dir;
    const std::string path = buildSample(dir, "T.MDX");
    auto index = IndexFile::open(path, true);
    const std::uint64_t counter = index->changeCounter();
    ASSERT_EQ(counter % 2, 0u);
    std::byte odd[8];
    putLE64(odd, counter + 1);
    pokeBytes(path, kCounterOffset, {odd, odd + 8});
    EXPECT_TRUE(throwsDatabaseError([&] { index->tags(); }));
    EXPECT_TRUE(throwsDatabaseError([&] { index->insert(0, makeKey(1, 8), 1); }));
    EXPECT_TRUE(throwsDatabaseError([&] { IndexFile::open(path, false); }));
    index->dropAllTags();
    EXPECT_EQ(index->changeCounter() % 2, 0u);
    EXPECT_TRUE(index->tags().empty());
    index->verify();
}

// ---------------------------------------------------------------------------------------------
// Sharing between handles and processes

TEST(IndexFileSharing, TwoHandlesSeeEachOther) {
    TempDir dir;
    const std::string path = dir.file("T.MDX");
    auto a = IndexFile::create(path);
    auto b = IndexFile::open(path, true);
    const std::uint64_t before = b->changeCounter();
    const int t = a->addTag(tagInfo("T", 8));
    EXPECT_EQ(b->findTag("t"), t);
    EXPECT_GT(b->changeCounter(), before);

    auto cb = b->cursor(t);
    a->insert(t, makeKey(10, 8), 1);
    ASSERT_TRUE(cb.seekFirst());
    b->insert(t, makeKey(20, 8), 1);
    auto ca = a->cursor(t);
    ASSERT_TRUE(ca.seek(makeKey(15, 8)));
    EXPECT_EQ(current(ca), Entry(makeKey(20, 8), 1));
    // a grows the file far beyond b's mapping; b's cursor goes on where it was.
    for (std::uint32_t i = 0; i < 20000; ++i)
        a->insert(t, makeKey(100 + i, 8), i);
    ASSERT_TRUE(cb.next());
    EXPECT_EQ(current(cb), Entry(makeKey(20, 8), 1));
    ASSERT_TRUE(cb.next());
    EXPECT_EQ(current(cb), Entry(makeKey(100, 8), 0));
    EXPECT_EQ(scanForward(*b, t).size(), 20002u);
    b->verify();
    auto readOnly = IndexFile::open(path, false);
    EXPECT_EQ(readOnly->tags()[t].entries, 20002u);
    readOnly->verify();
}

TEST(IndexFileSharing, ProcessesInsertConcurrently) {
    TempDir dir;
    const std::string path = dir.file("T.MDX");
    int t;
    {
        auto index = IndexFile::create(path);
        t = index->addTag(tagInfo("T", 8));
        index->addTag(tagInfo("U", 100));
    }
    constexpr int kWriters = 4;
    constexpr std::uint32_t kPerWriter = 2000;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters + 1; ++w) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid != 0) {
            children.push_back(pid);
            continue;
        }
        int status = 0;
        try {
            auto index = IndexFile::open(path, true);
            if (w < kWriters) {
                // Interleaved keys, so that the writers split each other's pages.
                for (std::uint32_t i = 0; i < kPerWriter; ++i) {
                    const std::uint64_t v = std::uint64_t{i} * kWriters + std::uint64_t(w);
                    if (!index->insert(t, makeKey(v, 8), std::uint32_t(v))) status = 3;
                    index->insert(1, makeKey(v % 97, 100), std::uint32_t(v));
                    auto c = index->cursor(t);
                    if (!c.seek(makeKey(v, 8)) || c.recno() != v) status = 4;
                }
            } else {
                // A reader scanning meanwhile: entries must come in strictly increasing order.
                for (int scan = 0; scan < 40; ++scan) {
                    auto c = index->cursor(t);
                    bool first = true;
                    std::uint32_t last = 0;
                    for (bool ok = c.seekFirst(); ok; ok = c.next()) {
                        if (!first && c.recno() <= last) status = 5;
                        first = false;
                        last = c.recno();
                    }
                }
            }
        } catch (...) {
            status = 2;
        }
        ::_exit(status);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    auto index = IndexFile::open(path, false);
    EXPECT_EQ(index->tags()[t].entries, kWriters * kPerWriter);
    index->verify();
    auto c = index->cursor(t);
    std::uint32_t n = 0;
    for (bool ok = c.seekFirst(); ok; ok = c.next(), ++n)
        ASSERT_EQ(c.recno(), n);
    EXPECT_EQ(n, kWriters * kPerWriter);
}

}  // namespace
}  // namespace pulpex::engine
