#include "core/prompts.h"

#include <gtest/gtest.h>

namespace pulpex {
namespace {

// Tests answer prompts through a queue; an unanswered prompt must take the safe button, so that a
// forgotten answer can never confirm a deletion.
TEST(Prompts, ScriptedAnswersInOrderThenSafeDefaults) {
    ScriptedPrompts sp;
    sp.setNextAnswer(Answer::Retry);
    EXPECT_EQ(prompts().message(Severity::Error, "a", Buttons::AbortRetryIgnore), Answer::Retry);
    EXPECT_EQ(prompts().message(Severity::Confirmation, "b", Buttons::YesNo), Answer::No);
    EXPECT_EQ(prompts().message(Severity::Confirmation, "c", Buttons::YesNoCancel), Answer::Cancel);
    EXPECT_EQ(prompts().message(Severity::Error, "d", Buttons::OkCancel), Answer::Cancel);
    EXPECT_EQ(sp.texts(), (QStringList{"a", "b", "c", "d"}));
}

TEST(Prompts, ScriptedPromptsRestoreThePreviousOnes) {
    Prompts* before = &prompts();
    {
        ScriptedPrompts outer;
        {
            ScriptedPrompts inner;
            prompts().message(Severity::Information, "x");
            EXPECT_EQ(inner.texts().size(), 1);
        }
        EXPECT_EQ(&prompts(), &outer);
        EXPECT_TRUE(outer.texts().isEmpty());
    }
    EXPECT_EQ(&prompts(), before);
}

TEST(Prompts, WindowsFiltersBecomeQtFilters) {
    EXPECT_EQ(QtFilterFromWindows("Pliki tekstowe (*.txt)|*.txt|Wszystkie pliki (*.*)|*.*"),
              "Pliki tekstowe (*.txt);;Wszystkie pliki (*)");
    // Several patterns; a description without its patterns gets them.
    EXPECT_EQ(QtFilterFromWindows("Obrazy|*.bmp;*.JPG|Tabele (*.dbf)|*.dbf"),
              "Obrazy (*.bmp *.JPG);;Tabele (*.dbf)");
    // Parentheses that name something else stay description; Qt reads the last pair.
    EXPECT_EQ(QtFilterFromWindows("Rejestr (dzienny)|*.txt"), "Rejestr (dzienny) (*.txt)");
    // A dangling description, empty patterns and an empty filter give nothing.
    EXPECT_EQ(QtFilterFromWindows("Teksty|*.txt|Reszta"), "Teksty (*.txt)");
    EXPECT_EQ(QtFilterFromWindows("Nic|"), "");
    EXPECT_EQ(QtFilterFromWindows(""), "");
}

TEST(Prompts, DefaultSuffixOnlyForNamesWithoutExtension) {
    EXPECT_EQ(WithDefaultSuffix("/tmp/rejestr", "txt"), "/tmp/rejestr.txt");
    EXPECT_EQ(WithDefaultSuffix("/tmp/rejestr", ".txt"), "/tmp/rejestr.txt");
    EXPECT_EQ(WithDefaultSuffix("/tmp/rejestr.TXT", "txt"), "/tmp/rejestr.TXT");
    // A dot in a directory name is not the file's extension.
    EXPECT_EQ(WithDefaultSuffix("/tmp/a.b/rejestr", "txt"), "/tmp/a.b/rejestr.txt");
    EXPECT_EQ(WithDefaultSuffix("/tmp/rejestr", ""), "/tmp/rejestr");
    EXPECT_EQ(WithDefaultSuffix("", "txt"), "");
}

// Every dialog kind answers from its own queue, records what the caller passed, and cancels when
// nothing was scripted.
TEST(Prompts, ScriptedDialogsAnswerFromQueuesAndRecord) {
    ScriptedPrompts sp;
    sp.setNextInput("nowa");
    sp.setNextInputCancel();
    sp.setNextFileName("/tmp/a.txt");
    sp.setNextFileName("/tmp/rejestr");
    sp.setNextPrinterSetup(true);

    QString v = "stara";
    EXPECT_TRUE(prompts().inputBox("Nazwa", "Podaj nazwę:", v));
    EXPECT_EQ(v, "nowa");
    EXPECT_FALSE(prompts().inputBox("Nazwa", "Podaj nazwę:", v));
    EXPECT_EQ(v, "nowa");                               // a cancel leaves the value alone
    EXPECT_FALSE(prompts().inputBox("Nazwa", "x", v));  // queue empty

    EXPECT_EQ(prompts().openFileName("Otwórz", "Teksty|*.txt", "/tmp"), "/tmp/a.txt");
    EXPECT_EQ(prompts().saveFileName("Zapisz", "Teksty|*.txt", "/tmp", "txt"), "/tmp/rejestr.txt");
    EXPECT_EQ(prompts().openFileName("Otwórz", "", ""), "");

    EXPECT_TRUE(prompts().printerSetup());
    EXPECT_FALSE(prompts().printerSetup());

    using K = ScriptedPrompts::Kind;
    const auto& a = sp.asked();
    ASSERT_EQ(a.size(), 8u);
    EXPECT_EQ(a[0].kind, K::Input);
    EXPECT_EQ(a[0].caption, "Nazwa");
    EXPECT_EQ(a[0].prompt, "Podaj nazwę:");
    EXPECT_EQ(a[0].value, "stara");
    EXPECT_EQ(a[3].kind, K::OpenFile);
    EXPECT_EQ(a[3].filter, "Teksty|*.txt");
    EXPECT_EQ(a[3].dir, "/tmp");
    EXPECT_EQ(a[4].kind, K::SaveFile);
    EXPECT_EQ(a[4].defaultSuffix, "txt");
    EXPECT_EQ(a[6].kind, K::PrinterSetup);
    EXPECT_TRUE(sp.texts().isEmpty());  // dialogs are not messages
}

TEST(Prompts, ConsoleCancelsEveryDialog) {
    ConsolePrompts console;
    QString v = "x";
    EXPECT_FALSE(console.inputBox("a", "b", v));
    EXPECT_EQ(v, "x");
    EXPECT_EQ(console.openFileName("a", "Teksty|*.txt", "/tmp"), "");
    EXPECT_EQ(console.saveFileName("a", "Teksty|*.txt", "/tmp", "txt"), "");
    EXPECT_FALSE(console.printerSetup());
}

}  // namespace
}  // namespace pulpex
