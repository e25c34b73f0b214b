// vexilla: the command-line front end.

#include <CLI/CLI.hpp>

#include <iostream>
#include <string>
#include <vector>

#include "cli/analyze.h"
#include "cli/igmenu.h"
#include "cli/inspect.h"
#include "cli/mux_commands.h"
#include "cli/progress_bar.h"
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

    vx::cli::MuxOptions muxOptions;
    std::string muxPids;
    CLI::App* mux = app.add_subcommand(
        "mux", "Multiplex the tracks of stream files and elementary-stream files into a new "
               "stream file");
    mux->add_option("-o,--output", muxOptions.output, "Stream file to write (.m2ts)")->required();
    mux->add_option("--clpi", muxOptions.clipOutput,
                    "Clip information to write (default: BDMV/CLIPINF beside a BDMV/STREAM "
                    "output, else the output's name with .clpi)");
    mux->add_option("--rate", muxOptions.rate, "Transport rate in bit/s (1000000 to 48000000)")
        ->default_val(48000000);
    mux->add_option("--app-type", muxOptions.applicationType,
                    "Clip application type (default: what the tracks call for)");
    mux->add_option("--pids", muxPids, "Source PIDs to keep, comma-separated (default: all)");
    mux->add_flag("--force", muxOptions.force, "Replace an existing clip information file");
    mux->add_option("INPUT", muxOptions.inputs,
                    "Stream files (.m2ts, .mts) and elementary-stream files (.ac3, .wav, .sup, "
                    ".pg, .ig)")
        ->required();

    std::string clipInfoStream, clipInfoOutput;
    bool clipInfoForce = false;
    CLI::App* clipinfo = app.add_subcommand(
        "clipinfo", "Make the clip information (.clpi) of a stream file by scanning it");
    clipinfo->add_option("FILE", clipInfoStream, "Stream file (.m2ts)")->required();
    clipinfo->add_option("-o,--output", clipInfoOutput,
                         "Clip information to write (default: by the BDMV folder rule)");
    clipinfo->add_flag("--force", clipInfoForce, "Replace an existing clip information file");

    std::string verifyStream, verifyClip;
    bool verifyJson = false;
    CLI::App* verify = app.add_subcommand(
        "verify", "Judge a stream file against the transport and decoder-buffer rules");
    verify->add_option("FILE", verifyStream, "Stream file (.m2ts)")->required();
    verify->add_option("--clpi", verifyClip, "Its clip information, checked against it too");
    verify->add_flag("--json", verifyJson,
                     "One JSON object: path, ok, packets and the rules with their details");

    std::string igMenuIn, igMenuOut;
    CLI::App* igmenu = app.add_subcommand(
        "igmenu", "Encode a menu described in JSON into an interactive-graphics stream (.ig)");
    igmenu->add_option("MENU", igMenuIn, "Menu description (JSON)")->required();
    igmenu->add_option("-o,--output", igMenuOut, "Graphics stream file to write")->required();
    igmenu->footer(vx::cli::kIgMenuHelp);

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
    if (mux->parsed() || clipinfo->parsed())
        vx::cli::ProgressBar::CatchInterrupts();
    if (mux->parsed()) {
        if (!muxPids.empty() && !vx::cli::ParsePidList(muxPids, &muxOptions.pids)) {
            std::cerr << "vexilla: --pids: a comma-separated list of PIDs is expected\n";
            return 2;
        }
        return vx::cli::RunMux(muxOptions);
    }
    if (igmenu->parsed())
        return vx::cli::RunIgMenu(igMenuIn, igMenuOut);
    if (verify->parsed())
        return vx::cli::RunVerify(verifyStream, verifyClip, verifyJson, std::cout);
    if (clipinfo->parsed())
        return vx::cli::RunClipInfo(clipInfoStream, clipInfoOutput, clipInfoForce);
    if (rewrite->parsed())
        return vx::cli::RunRewrite(rewriteIn, rewriteOut);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    return Run(argc, argv);
}
