// The text subcommand, run as a script would run it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace orblane {
namespace {

struct CommandResult
{
    int exitCode = -1;
    std::string output;
};

std::string ShellQuote(std::string_view argument)
{
    std::string quoted = "'";
    for (const char c : argument)
    {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// Runs orblane-cli text with the arguments under an environment prefix; standard output only.
CommandResult RunText(std::initializer_list<std::string_view> arguments, std::string_view environment = "")
{
    std::string command = std::string(environment) + " " + ShellQuote(ORBLANE_CLI_PATH) + " text";
    for (const std::string_view argument : arguments)
    {
        command += " " + ShellQuote(argument);
    }
    command += " 2>/dev/null";
    CommandResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
    {
        return result;
    }
    std::array<char, 256> buffer{};
    std::size_t read = 0;
    while ((read = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    {
        result.output.append(buffer.data(), read);
    }
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TEST(TextCommandTest, PrintsTheConvertedValueAsUtf8Json)
{
    const CommandResult japanese =
        RunText({"\\ISO 2022 IR 87", "59616d6164615e5461726f753d1b24423b3345441b28425e1b244242404f3a1b2842"});
    EXPECT_EQ(japanese.exitCode, 0);
    EXPECT_EQ(japanese.output, "{\"text\": \"Yamada^Tarou=山田^太郎\"}\n");

    const CommandResult spaced = RunText({"ISO_IR 144", "bb ee da"});
    EXPECT_EQ(spaced.exitCode, 0);
    EXPECT_EQ(spaced.output, "{\"text\": \"Люк\"}\n");

    const CommandResult quoted = RunText({"ISO_IR 100", "22 5c"});
    EXPECT_EQ(quoted.output, "{\"text\": \"\\\"\\\\\"}\n");
}

TEST(TextCommandTest, EmptyCharsetUsesTheAnsiCodePageFromTheOptionOrTheLocale)
{
    EXPECT_EQ(RunText({"", "bb", "--ansi-codepage", "28595"}).output, "{\"text\": \"Л\"}\n");
    EXPECT_EQ(RunText({"", "e9"}, "LC_ALL=C").output, "{\"text\": \"é\"}\n");
    EXPECT_EQ(RunText({"", "c3a9"}, "LC_ALL=C.UTF-8").output, "{\"text\": \"é\"}\n");
    // A locale that is not installed still names its character set.
    EXPECT_EQ(RunText({"", "a4a2"}, "LC_ALL= LC_CTYPE= LANG=ja_JP.eucJP").output, "{\"text\": \"あ\"}\n");
    // The option wins over the locale, and has no say over a named character set.
    EXPECT_EQ(RunText({"", "e9", "--ansi-codepage", "1252"}, "LC_ALL=C.UTF-8").output, "{\"text\": \"é\"}\n");
    EXPECT_EQ(RunText({"ISO_IR 192", "c3a9", "--ansi-codepage", "1252"}).output, "{\"text\": \"é\"}\n");
    EXPECT_EQ(RunText({"", ""}).output, "{\"text\": null}\n");
}

TEST(TextCommandTest, BadArgumentsExitWithTwo)
{
    EXPECT_EQ(RunText({}).exitCode, 2);
    EXPECT_EQ(RunText({"ISO_IR 100"}).exitCode, 2);
    EXPECT_EQ(RunText({"ISO_IR 100", "4"}).exitCode, 2);
    EXPECT_EQ(RunText({"ISO_IR 100", "zz"}).exitCode, 2);
    EXPECT_EQ(RunText({"ISO_IR 100", "41", "--ansi-codepage"}).exitCode, 2);
    EXPECT_EQ(RunText({"ISO_IR 100", "41", "--ansi-codepage", "12345"}).exitCode, 2);
    EXPECT_EQ(RunText({"ISO_IR 100", "41", "--ansi-codepage", "12x"}).exitCode, 2);
    EXPECT_EQ(RunText({"ISO_IR 100", "41", "--bogus"}).exitCode, 2);
    EXPECT_EQ(RunText({"ISO_IR 100", "41", "extra"}).exitCode, 2);
}

} // namespace
} // namespace orblane
