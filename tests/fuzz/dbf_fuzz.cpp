// libFuzzer target for the table reader: the input becomes a table file (and optionally its memo
// and index files) in a private directory, which is opened and read completely. Only
// EDatabaseError may come out of the engine; anything else, a crash or a sanitizer report is a
// fault.
//
// Input: inputs under 9 bytes are the table file alone. Otherwise byte 0 holds flags (bit 0:
// open with repairIndex, bit 1: read-only, bit 2: also edit and append), bytes 1..4 and 5..8 the
// little-endian lengths of the table and memo parts (taken modulo what is left), then the table
// file, the memo file (.DBT) and, with whatever remains, the index file (.MDX). An empty part
// means no such file.
//
// Build and run (clang only):
//   cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
//         -DPULPEX_FUZZ=ON -DPULPEX_BENCH=OFF
//   ninja -C build-fuzz dbf_fuzz
//   /usr/bin/python3 tests/scripts/make_fuzz_seeds.py build-fuzz/dbf-seeds [TABLE.DBF...]
//   mkdir -p build-fuzz/dbf-corpus
//   build-fuzz/bin/dbf_fuzz -max_total_time=60 -max_len=65536 -rss_limit_mb=2048 \
//         -dict=tests/fuzz/dbf.dict build-fuzz/dbf-corpus build-fuzz/dbf-seeds
// scripts/test does this after the tests, with a table made by pulpex-db among the seeds.
// A fault that the fuzzer keeps finding hides the ones behind it: "-fork=2 -ignore_ooms=1" carries
// on past out-of-memory reports, and PULPEX_FUZZ_NO_MEMO_WRITES=1 in the environment leaves memo
// and graphic fields out of the edits (a memo write into a damaged memo file is where the
// engine's largest reads and files have come from).
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "tables/engine/error.h"
#include "tables/engine/table.h"

using namespace pulpex::engine;

namespace {

std::string g_dir;
bool g_memoWrites = true;

void writePart(const std::string& path, const std::uint8_t* data, std::size_t size) {
    ::unlink(path.c_str());
    if (size == 0) return;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}

std::uint32_t le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void readAll(Table& t) {
    const int fields = static_cast<int>(t.fields().size());
    std::size_t rows = 0;
    for (t.first(); !t.eof(); t.next()) {
        ++rows;
        for (int f = 0; f < fields; ++f) {
            try {
                (void)t.isNull(f);
                (void)t.asText(f);
                (void)t.asValue(f);
            } catch (const EDatabaseError&) {
                // A damaged memo spoils its field only.
            }
        }
    }
    for (const auto& tag : t.tags()) {
        t.setIndex(tag.name);
        std::size_t n = 0;
        for (t.first(); !t.eof() && n <= rows + 1; t.next())
            ++n;
        for (t.last(); !t.bof() && n > 0; t.prior())
            --n;
        (void)t.findNearest(Value{std::int64_t{1}});
    }
    t.setIndex("");
    (void)t.recordCount();
    (void)t.check(false);
}

void editSome(Table& t) {
    t.first();
    if (!t.eof()) {
        t.edit();
        for (int f = 0; f < static_cast<int>(t.fields().size()); ++f) {
            const FieldType type = t.fields()[static_cast<std::size_t>(f)].type;
            if (!g_memoWrites && (type == FieldType::Memo || type == FieldType::Graphic)) continue;
            try {
                t.setText(f, "12");
            } catch (const EDatabaseError&) {
            }
        }
        t.post();
    }
    t.append();
    t.post();
    readAll(t);
}

void removeDir() {
    for (const char* name : {"/DANE.DBF", "/DANE.DBT", "/DANE.MDX", "/DANE.DBT.pack"})
        ::unlink((g_dir + name).c_str());
    ::rmdir(g_dir.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char tmpl[] = "/tmp/pulpex-fuzz-XXXXXX";
    if (!::mkdtemp(tmpl)) std::abort();
    g_dir = tmpl;
    std::atexit(removeDir);
    g_memoWrites = std::getenv("PULPEX_FUZZ_NO_MEMO_WRITES") == nullptr;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string dbf = g_dir + "/DANE.DBF", dbt = g_dir + "/DANE.DBT",
                      mdx = g_dir + "/DANE.MDX";
    std::uint8_t flags = 0;
    if (size < 9) {
        writePart(dbf, data, size);
        writePart(dbt, nullptr, 0);
        writePart(mdx, nullptr, 0);
    } else {
        flags = data[0];
        std::size_t rest = size - 9;
        const std::size_t tableLen = le32(data + 1) % (rest + 1);
        rest -= tableLen;
        const std::size_t memoLen = le32(data + 5) % (rest + 1);
        const std::uint8_t* p = data + 9;
        writePart(dbf, p, tableLen);
        writePart(dbt, p + tableLen, memoLen);
        writePart(mdx, p + tableLen + memoLen, rest - memoLen);
    }
    try {
        Table::OpenOptions options;
        options.repairIndex = (flags & 1) != 0;
        options.readOnly = (flags & 2) != 0;
        auto t = Table::open(dbf, options);
        readAll(*t);
        if ((flags & 4) != 0 && !options.readOnly) editSome(*t);
    } catch (const EDatabaseError&) {
    }
    return 0;
}
