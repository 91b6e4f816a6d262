// The CSV reader and writer and base64 of pulpex-db on the cases that break naive code.
#include "csv.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

using namespace pulpex::tools;

namespace {

using Rows = std::vector<std::vector<std::string>>;

Rows readAll(std::string_view text, std::vector<std::size_t>* lines = nullptr) {
    CsvReader reader(text);
    CsvRecord r;
    Rows rows;
    while (reader.next(r)) {
        rows.push_back(r.fields);
        if (lines) lines->push_back(r.line);
    }
    return rows;
}

std::size_t errorLine(std::string_view text) {
    try {
        readAll(text);
    } catch (const CsvError& e) {
        return e.line();
    }
    ADD_FAILURE() << "no CsvError for: " << text;
    return 0;
}

std::vector<std::byte> bytesOf(std::string_view s) {
    std::vector<std::byte> r;
    for (char c : s)
        r.push_back(std::byte(static_cast<unsigned char>(c)));
    return r;
}

}  // namespace

TEST(CsvReader, QuotingLineEndsAndEmptyFields) {
    // Quoted commas, doubled quotes, CRLF, LF and a lone CR, an empty line, no final newline.
    std::vector<std::size_t> lines;
    Rows rows = readAll(
        "a,\"b,c\",\"say \"\"hi\"\"\"\r\n"
        ",,\n"
        "\"\",x,\r"
        "\r\n"
        "last,\"\",",
        &lines);
    Rows want = {{"a", "b,c", "say \"hi\""}, {"", "", ""}, {"", "x", ""}, {"last", "", ""}};
    EXPECT_EQ(rows, want);
    EXPECT_EQ(lines, (std::vector<std::size_t>{1, 2, 3, 5}));
    EXPECT_EQ(readAll("one"), (Rows{{"one"}}));
    EXPECT_EQ(readAll("\xEF\xBB\xBFid,x\r\n1,2\r\n"), (Rows{{"id", "x"}, {"1", "2"}}));
    EXPECT_TRUE(readAll("").empty());
    EXPECT_TRUE(readAll("\r\n\n").empty());
    // A quote inside an unquoted field is kept as it is.
    EXPECT_EQ(readAll("12\" ekran,b\n"), (Rows{{"12\" ekran", "b"}}));
}

TEST(CsvReader, LineEndsInsideQuotesStayAndLinesAreCounted) {
    std::vector<std::size_t> lines;
    Rows rows = readAll("id,memo\n1,\"first\r\nsecond\nthird\"\n2,\"a,\n\"\"b\"\"\"\n3,z", &lines);
    Rows want = {{"id", "memo"}, {"1", "first\r\nsecond\nthird"}, {"2", "a,\n\"b\""}, {"3", "z"}};
    EXPECT_EQ(rows, want);
    EXPECT_EQ(lines, (std::vector<std::size_t>{1, 2, 5, 7}));
}

TEST(CsvReader, MalformedQuotesAreErrorsWithTheRecordLine) {
    EXPECT_EQ(errorLine("a,b\n1,\"open\nstill open"), 2u);
    EXPECT_EQ(errorLine("\"x"), 1u);
    EXPECT_EQ(errorLine("a\n\n\"closed\"junk,b\n"), 3u);
}

TEST(CsvWriter, QuotesOnlyWhatNeedsItAndReadsBack) {
    EXPECT_EQ(csvField("plain text"), "plain text");
    EXPECT_EQ(csvField("a,b"), "\"a,b\"");
    EXPECT_EQ(csvField("say \"x\""), "\"say \"\"x\"\"\"");
    EXPECT_EQ(csvField("l1\nl2"), "\"l1\nl2\"");
    EXPECT_EQ(csvField("cr\r"), "\"cr\r\"");

    Rows rows = {{"Zażółć, gęślą", "\"", ""}, {"x\r\ny", "", "\n"}, {"", "", ""}};
    std::ostringstream out;
    for (const auto& r : rows)
        writeCsvRecord(out, r);
    EXPECT_TRUE(out.str().starts_with("\"Zażółć, gęślą\",\"\"\"\",\r\n")) << out.str();
    EXPECT_EQ(readAll(out.str()), rows);

    // A lone empty field must not turn into a blank line, which readers skip.
    std::ostringstream one;
    writeCsvRecord(one, {"ID"});
    writeCsvRecord(one, {""});
    writeCsvRecord(one, {"7"});
    EXPECT_EQ(one.str(), "ID\r\n\"\"\r\n7\r\n");
    EXPECT_EQ(readAll(one.str()), (Rows{{"ID"}, {""}, {"7"}}));
}

TEST(Base64, KnownVectorsAndRoundTrip) {
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, coded] : vectors) {
        EXPECT_EQ(base64Encode(bytesOf(plain)), coded);
        EXPECT_EQ(base64Decode(coded), bytesOf(plain)) << coded;
    }
    EXPECT_EQ(base64Decode("Zm9v\r\nYmE"), bytesOf("fooba"));  // wrapped and unpadded

    std::mt19937 rng(7);
    for (std::size_t n = 0; n < 70; ++n) {
        std::vector<std::byte> b(n);
        for (auto& x : b)
            x = std::byte(rng() & 0xFF);
        if (n > 2) b[1] = std::byte{0};
        EXPECT_EQ(base64Decode(base64Encode(b)), b) << n;
    }
    for (const char* bad : {"Z", "Zg=", "Z===", "Zm9v!", "Zg==Zg==", "=Zg=", "Zm9vY"})
        EXPECT_FALSE(base64Decode(bad).has_value()) << bad;
}
