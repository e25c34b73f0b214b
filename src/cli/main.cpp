// vexilla: the command-line front end.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {

int Run(int argc, char** argv) {
    CLI::App app{"Vexilla: authoring the navigation layer of Blu-ray discs (BDMV folders)",
                 "vexilla"};
    app.set_version_flag("--version", std::string("vexilla ") + VEXILLA_VERSION);
    app.require_subcommand(1);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "vexilla: " << e.what() << "\n\n" << app.help();
        return 2;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    return Run(argc, argv);
}
