#include "core/utils.h"

#include "core/prompts.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <filesystem>

namespace pulpex {
namespace {

void writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(data), data.size());
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return f.readAll();
}

QStringList names(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

class UtilsIni : public ::testing::Test {
  protected:
    QTemporaryDir tmp;
    QString ini = tmp.filePath("PULPEX.INI");
};

TEST_F(UtilsIni, ReadsLikeGetPrivateProfileString) {
    writeFile(ini,
              "Orphan=before any section\n"
              "[Config]\n"
              "; Release=9\n"
              "  Release  =  3  \n"
              "Quoted=\"  a b  \"\n"
              "Single='x'\n"
              "Unmatched=\"x'\n"
              "Bare\n"
              "[ Ścieżki ]\n"
              "Baza=/srv/Łódź\n"
              "[CONFIG]\n"
              "Extra=second section of the same name\n");
    EXPECT_EQ(IniReadString("config", "RELEASE", "d", ini), "3");
    EXPECT_EQ(IniReadString("CONFIG", "quoted", "d", ini), "  a b  ");
    EXPECT_EQ(IniReadString("Config", "Single", "d", ini), "x");
    EXPECT_EQ(IniReadString("Config", "Unmatched", "d", ini), "\"x'");
    EXPECT_EQ(IniReadString("ścieżki", "BAZA", "d", ini), "/srv/Łódź");
    // Only the first section of a name counts; a key without '=' has no value.
    EXPECT_EQ(IniReadString("Config", "Extra", "d", ini), "d");
    EXPECT_EQ(IniReadString("Config", "Bare", "d", ini), "d");
    EXPECT_EQ(IniReadString("", "Orphan", "d", ini), "d");
    EXPECT_EQ(IniReadString("Config", "Missing", "def  ", ini), "def");
    EXPECT_EQ(IniReadString("Nope", "Release", "d", ini), "d");
    EXPECT_EQ(IniReadString("Config", "Release", "d", tmp.filePath("absent.ini")), "d");
}

TEST_F(UtilsIni, ValuesAndDefaultsAreCutAt255Characters) {
    const QString longText(300, u'ż');
    writeFile(ini, ("[S]\nPlain=" + longText + "\nQuoted=\"" + longText + "\"\n").toUtf8());
    EXPECT_EQ(IniReadString("S", "Plain", {}, ini), longText.left(255));
    EXPECT_EQ(IniReadString("S", "Quoted", {}, ini), longText.left(255));
    EXPECT_EQ(IniReadString("S", "None", longText, ini), longText.left(255));
}

TEST_F(UtilsIni, WriteReplacesInPlaceAndKeepsEverythingElse) {
    const QByteArray before =
        "; ustawienia stanowiska\r\n"
        "[Config]\r\n"
        "Release = 2\r\n"
        "; comment inside\r\n"
        "Other=x\r\n"
        "\r\n"
        "[Paths]\r\n"
        "Base=/srv\r\n";
    writeFile(ini, before);
    ASSERT_TRUE(IniWriteString("CONFIG", "release", "3", ini));
    ASSERT_TRUE(IniWriteString("config", "New", "nowa wartość", ini));
    ASSERT_TRUE(IniWriteString("Extra", "K", "v", ini));
    EXPECT_EQ(readFile(ini),
              "; ustawienia stanowiska\r\n"
              "[Config]\r\n"
              "Release=3\r\n"
              "; comment inside\r\n"
              "Other=x\r\n"
              "New=nowa wartość\r\n"
              "\r\n"
              "[Paths]\r\n"
              "Base=/srv\r\n"
              "\r\n"
              "[Extra]\r\n"
              "K=v\r\n");
    EXPECT_EQ(IniReadString("Config", "New", {}, ini), "nowa wartość");
    EXPECT_EQ(names(tmp.path()), QStringList{"PULPEX.INI"});  // no temporary file left behind
}

TEST_F(UtilsIni, WriteCreatesFileDirectoriesAndSection) {
    const QString nested = tmp.filePath("a/b/c/Pulpex.ini");
    ASSERT_TRUE(IniWriteString("PULPEX", "BASE_MAIN", "/srv/pulpex", nested));
    EXPECT_EQ(readFile(nested), "[PULPEX]\nBASE_MAIN=/srv/pulpex\n");
    EXPECT_EQ(IniReadString("pulpex", "base_main", {}, nested), "/srv/pulpex");

    writeFile(tmp.filePath("file"), "x");
    EXPECT_FALSE(IniWriteString("S", "K", "v", tmp.filePath("file/sub/x.ini")));
    EXPECT_FALSE(IniWriteString("S", "K", "two\nlines", ini));
    EXPECT_FALSE(IniWriteString("S", "K=1", "v", ini));
    EXPECT_FALSE(QFile::exists(ini));
}

TEST_F(UtilsIni, ReadIntConvertsOrThrows) {
    writeFile(ini, "[S]\nN= -42 \nHex=$1F\nWord=abc\nEmpty=\nBig=2147483648\nMin=-2147483648\n");
    EXPECT_EQ(IniReadInt("s", "n", 0, ini), -42);
    EXPECT_EQ(IniReadInt("S", "Hex", 0, ini), 31);
    EXPECT_EQ(IniReadInt("S", "Min", 0, ini), -2147483647 - 1);
    EXPECT_EQ(IniReadInt("S", "Absent", -5, ini), -5);
    try {
        IniReadInt("S", "Word", 0, ini);
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.message(), "'abc' nie jest poprawną liczbą całkowitą");
    }
    EXPECT_THROW(IniReadInt("S", "Empty", 7, ini), EConvertError);
    EXPECT_THROW(IniReadInt("S", "Big", 0, ini), EConvertError);
}

TEST_F(UtilsIni, WinIniLivesInTheXdgConfigDirectory) {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    const bool had = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", tmp.filePath("cfg").toUtf8());
    EXPECT_EQ(WinIniPath(), tmp.filePath("cfg/pulpex/win.ini"));
    EXPECT_EQ(UserIniPath(), tmp.filePath("cfg/pulpex/Pulpex.ini"));
    EXPECT_TRUE(WinIniWrite("PULPEX", "BASE_MAIN", "/srv"));
    EXPECT_EQ(IniReadString("PULPEX", "BASE_MAIN", {}, tmp.filePath("cfg/pulpex/win.ini")), "/srv");
    qputenv("XDG_CONFIG_HOME", "relative/ignored");
    EXPECT_EQ(WinIniPath(), QDir::homePath() + "/.config/pulpex/win.ini");
    if (had)
        qputenv("XDG_CONFIG_HOME", saved);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

TEST(UtilsMessages, WarningLevelsAndNotImplemented) {
    ScriptedPrompts sp;
    ShowWarning(0, "a");
    ShowWarning(1, "b");
    EXPECT_FALSE(sp.quitRequested);
    ShowWarning(2, "c");
    EXPECT_TRUE(sp.quitRequested);
    ShowWarning(5, "d");
    NotImplemented(false, "e");
    NotImplemented(true, "f");
    EXPECT_EQ(sp.texts(),
              (QStringList{"Ostrzerzenie\r\na", "UWAGA Błąd\r\nb", "UWAGA   KRYTYCZNY BŁĄD\r\nc",
                           "", "Not implemented \r\nf"}));
    ASSERT_EQ(sp.shown().size(), 5u);
    EXPECT_EQ(sp.shown()[0].severity, Severity::Warning);
    EXPECT_EQ(sp.shown()[1].severity, Severity::Error);
    EXPECT_EQ(sp.shown()[2].severity, Severity::Error);
    EXPECT_EQ(sp.shown()[3].severity, Severity::Information);
}

TEST(UtilsForceDirs, CreatesMissingLevelsAndFailsAtAFile) {
    QTemporaryDir tmp;
    ASSERT_TRUE(QDir().mkpath(tmp.filePath("have")));
    EXPECT_TRUE(ForceDirs(tmp.filePath("have/x/y/")));
    EXPECT_TRUE(QFileInfo(tmp.filePath("have/x/y")).isDir());
    EXPECT_TRUE(ForceDirs(tmp.filePath("have/x/y")));  // all there already

    writeFile(tmp.filePath("plik"), "x");
    EXPECT_FALSE(ForceDirs(tmp.filePath("plik/sub")));
    EXPECT_FALSE(QFileInfo::exists(tmp.filePath("plik/sub")));

    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(tmp.path()));
    EXPECT_TRUE(ForceDirs("rel/a"));
    QDir::setCurrent(cwd);
    EXPECT_TRUE(QFileInfo(tmp.filePath("rel/a")).isDir());
    EXPECT_TRUE(ForceDirs("/"));
}

TEST(UtilsDates, ParseFormatAndSqlDate) {
    EXPECT_TRUE(ParseDateTime("").isNull());
    EXPECT_TRUE(ParseDateTime("2024-3-5").isNull());
    EXPECT_TRUE(ParseDateTime("2024-02-30").isNull());
    EXPECT_TRUE(ParseDateTime("2024-03-05 25:00").isNull());
    EXPECT_TRUE(ParseDateTime("2024-03-05x").isNull());
    EXPECT_EQ(ParseDateTime("2024-03-05"), QDateTime(QDate(2024, 3, 5), QTime(0, 0)));
    EXPECT_EQ(ParseDateTime("2024-03-05 14:30"), QDateTime(QDate(2024, 3, 5), QTime(14, 30)));
    EXPECT_EQ(ParseDateTime("2024-03-05 14:30:15"),
              QDateTime(QDate(2024, 3, 5), QTime(14, 30, 15)));

    EXPECT_EQ(DateTimeToStr(QDateTime(QDate(2024, 3, 5), QTime(0, 0))), "2024-03-05");
    EXPECT_EQ(DateTimeToStr(QDateTime(QDate(2024, 3, 5), QTime(9, 5, 7))), "2024-03-05 09:05:07");
    EXPECT_EQ(StrToTime("09:05"), QTime(9, 5));
    EXPECT_FALSE(StrToTime("9.05").isValid());

    EXPECT_EQ(SqlDate(QDate(1998, 1, 1)), " cast(\"1/1/1998\" as date) ");
    EXPECT_EQ(SqlDate(QDate(2024, 3, 5)), " cast(\"3/5/2024\" as date) ");
    EXPECT_EQ(SqlDate(QDate(2024, 12, 31)), " cast(\"12/31/2024\" as date) ");

    EXPECT_EQ(DayName(QDate(2024, 3, 3)), "Niedziela");
    EXPECT_EQ(DayName(QDate(2024, 3, 4)), "Poniedziałek");
    EXPECT_EQ(MonthName(10), "Październik");
    EXPECT_EQ(MonthName(13), "");
}

class UtilsFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(src()));
        ASSERT_TRUE(QDir().mkpath(dst()));
        writeFile(src() + "/A.DBF", "a");
        writeFile(src() + "/b.dbf", "b");
        writeFile(src() + "/C.Dbf", "c");
        writeFile(src() + "/.hidden.dbf", "h");
        writeFile(src() + "/note.txt", "t");
        ASSERT_TRUE(QDir().mkpath(src() + "/dir.dbf"));
        QFile::setPermissions(src() + "/A.DBF", QFile::ReadOwner | QFile::ReadUser);
    }
    QString src() const { return tmp.filePath("BASES"); }
    QString dst() const { return tmp.filePath("COPY"); }
    QTemporaryDir tmp;
};

TEST_F(UtilsFiles, MasksMatchRegularFilesIgnoringCase) {
    EXPECT_EQ(FilesByMask(src() + "/*.dbf"), (QStringList{src() + "/.hidden.dbf", src() + "/A.DBF",
                                                          src() + "/b.dbf", src() + "/C.Dbf"}));
    EXPECT_EQ(FilesByMask(src() + "/?.DBF").size(), 3);
    EXPECT_EQ(FilesByMask(src() + "/NOTE.*"), QStringList{src() + "/note.txt"});
    EXPECT_EQ(FilesByMask(src() + "/*.*").size(), 5);
    EXPECT_TRUE(FilesByMask(src() + "/*.mdx").isEmpty());
}

TEST_F(UtilsFiles, CopyWithoutReplaceStopsAtAnExistingFile) {
    writeFile(dst() + "/B.DBF", "old");
    EXPECT_FALSE(CopyFilesByMask(src() + "/?.dbf", dst(), false));
    // A.DBF went first; b.dbf met B.DBF (the same name to Windows) and C.Dbf was never tried.
    EXPECT_EQ(names(dst()), (QStringList{"A.DBF", "B.DBF"}));
    EXPECT_EQ(readFile(dst() + "/A.DBF"), "a");
    EXPECT_EQ(readFile(dst() + "/B.DBF"), "old");

    EXPECT_FALSE(CopyFilesByMask(src() + "/*.mdx", dst(), false));
    EXPECT_FALSE(CopyFilesByMask(src() + "/*.dbf", tmp.filePath("absent"), true));
    EXPECT_EQ(names(src()).size(), 6);
}

TEST_F(UtilsFiles, CopyWithReplaceOverwritesReadOnlyTargets) {
    writeFile(dst() + "/A.DBF", "old");
    writeFile(dst() + "/B.DBF", "old");
    QFile::setPermissions(dst() + "/A.DBF", QFile::ReadOwner);
    EXPECT_TRUE(CopyFilesByMask(src() + "/*.DBF", dst(), true));
    EXPECT_EQ(names(dst()), (QStringList{".hidden.dbf", "A.DBF", "C.Dbf", "b.dbf"}));
    EXPECT_EQ(readFile(dst() + "/A.DBF"), "a");
    EXPECT_EQ(readFile(dst() + "/b.dbf"), "b");
    // The copy is read-only like its source.
    EXPECT_EQ(std::filesystem::status((dst() + "/A.DBF").toStdString()).permissions(),
              std::filesystem::perms::owner_read);
}

TEST_F(UtilsFiles, DeleteRemovesReadOnlyAndHiddenFiles) {
    DeleteFilesByMask(src() + "/*.DBF");
    EXPECT_EQ(names(src()), (QStringList{"dir.dbf", "note.txt"}));
}

}  // namespace
}  // namespace pulpex
