// ovra: builds, lists, tests and unpacks archives from the command line.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <map>
#include <string>

#include "tools/archive_tool/commands.h"
#include "tools/archive_tool/entry_name.h"

namespace {

using namespace archive_tool;

const std::map<std::string, unsigned> kNameCodePages = {
    { "cp932", kNamesShiftJis },
    { "932", kNamesShiftJis },
    { "shift_jis", kNamesShiftJis },
    { "utf-8", kNamesUtf8 },
    { "utf8", kNamesUtf8 },
    { "65001", kNamesUtf8 },
};

void AddNamesOption(CLI::App& command, unsigned& codePage)
{
    command
        .add_option("--names", codePage,
            "Code page of the entry names in the archive: cp932 (the default, as the game's "
            "systems read them) or utf-8")
        ->transform(CLI::CheckedTransformer(kNameCodePages, CLI::ignore_case))
        ->option_text("cp932|utf-8");
}

int Report(int status, const std::string& error)
{
    if (status != kExitSuccess)
        std::fprintf(stderr, "ovra: %s\n", error.empty() ? "failed" : error.c_str());
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app("Builds, lists, tests and unpacks archives.", "ovra");
    app.require_subcommand(1);
    app.set_version_flag("--version", "ovra 1.0");

    CreateOptions create;
    CLI::App* createCommand = app.add_subcommand(
        "create", "Packs the folder DIR and everything below it into ARCHIVE (replacing it only on success).");
    createCommand->add_option("ARCHIVE", create.archive, "The archive to write")->required();
    createCommand->add_option("DIR", create.folder, "The folder whose contents are packed")->required();
    AddNamesOption(*createCommand, create.namesCodePage);
    createCommand->add_flag("--no-progress", create.noProgress, "Never show a progress bar");

    ListOptions list;
    CLI::App* listCommand
        = app.add_subcommand("list", "Shows the tree of ARCHIVE with encode types, lengths and times (UTC).");
    listCommand->add_option("ARCHIVE", list.archive, "The archive to list")->required();
    AddNamesOption(*listCommand, list.namesCodePage);

    ExtractOptions extract;
    CLI::App* extractCommand
        = app.add_subcommand("extract", "Unpacks ARCHIVE into the current folder or DIR, creating folders as needed.");
    extractCommand->add_option("ARCHIVE", extract.archive, "The archive to unpack")->required();
    extractCommand->add_option("-C,--directory", extract.target, "The folder to unpack into")->option_text("DIR");
    AddNamesOption(*extractCommand, extract.namesCodePage);
    extractCommand->add_flag("--no-progress", extract.noProgress, "Never show a progress bar");

    TestOptions test;
    CLI::App* testCommand
        = app.add_subcommand("test", "Reads every entry of ARCHIVE and reports the damaged ones; writes nothing.");
    testCommand->add_option("ARCHIVE", test.archive, "The archive to test")->required();
    AddNamesOption(*testCommand, test.namesCodePage);
    testCommand->add_flag("--no-progress", test.noProgress, "Never show a progress bar");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return kExitSuccess;
    } catch (const CLI::CallForVersion&) {
        std::puts("ovra 1.0");
        return kExitSuccess;
    } catch (const CLI::ParseError& e) {
        // CLI11 spells some messages over several lines; one line is the promise.
        std::string message = e.what();
        for (char& c : message)
            if (c == '\n' || c == '\r')
                c = ' ';
        std::fprintf(stderr, "ovra: %s (try 'ovra --help')\n", message.c_str());
        return kExitUsage;
    }

    std::string error;
    try {
        if (createCommand->parsed())
            return Report(RunCreate(create, error), error);
        if (listCommand->parsed())
            return Report(RunList(list, error), error);
        if (extractCommand->parsed())
            return Report(RunExtract(extract, error), error);
        return Report(RunTest(test, error), error);
    } catch (const std::exception& e) {
        // The standard library signals exhausted memory and the like this way.
        return Report(kExitFailure, e.what());
    }
}
