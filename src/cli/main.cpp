// vexilla: the command-line front end.

#include <CLI/CLI.hpp>

#include <iostream>
#include <string>
#include <vector>

#include "cli/analyze.h"
#include "cli/inspect.h"
#include "foundation/messages.h"

namespace {

int Run(int argc, char** argv) {
    CLI::App app{"Vexilla: authoring the navigation layer of Blu-ray discs (BDMV folders)",
                 "vexilla"};
    app.set_version_flag("--version", std::string("vexilla ") + VEXILLA_VERSION);
    app.require_subcommand(1);

    bool json = false;
    std::vector<std::string> inspectPaths;
    CLI::App* inspect = app.add_subcommand(
        "inspect", "Show what database files hold (a file, or every file of a BDMV folder)");
    inspect->add_flag("--json", json, "One JSON document per file, one per line");
    inspect->add_option("PATH", inspectPaths, "Database file or BDMV folder")->required();

    std::string rewriteIn, rewriteOut;
    CLI::App* rewrite =
        app.add_subcommand("rewrite", "Parse a database file and write it back with our writer");
    rewrite->add_option("IN", rewriteIn, "Database file to read")->required();
    rewrite->add_option("OUT", rewriteOut, "File to write")->required();

    bool analyzeJson = false;
    std::vector<std::string> analyzePaths;
    CLI::App* analyze = app.add_subcommand(
        "analyze", "Analyse elementary-stream files (.ac3, .wav, .sup, .pg, .ig) for multiplexing");
    analyze->add_flag("--json", analyzeJson, "One JSON document per file, one per line");
    analyze->add_option("FILE", analyzePaths, "Elementary-stream file")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "vexilla: " << e.what() << "\n\n" << app.help();
        return 2;
    }

    // Messages of the core go to stderr, one per line.
    vx::SetMessageSink([](const std::string& text) { std::cerr << text << '\n'; });
    if (inspect->parsed())
        return vx::cli::RunInspect(inspectPaths, json, std::cout);
    if (analyze->parsed())
        return vx::cli::RunAnalyze(analyzePaths, analyzeJson, std::cout);
    if (rewrite->parsed())
        return vx::cli::RunRewrite(rewriteIn, rewriteOut);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    return Run(argc, argv);
}
