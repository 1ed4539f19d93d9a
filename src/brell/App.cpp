#include "brell/App.h"

#include <iostream>

#include <CLI/CLI.hpp>

#include "BrellCore/integration/AppVersion.h"
#include "brell/AppContext.h"
#include "brell/Commands.h"

namespace brell {

int appMain(int argc, char** argv) {
    CLI::App app{"BRELL: a private research memory. Everything stays on this computer.", "brell"};
    app.set_version_flag("--version", "brell " + AppVersion::current().display());
    app.require_subcommand(1);
    AppContext context(std::cout, std::cerr);
    registerCommands(app, context);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e, std::cout, std::cerr);
        return 2;
    } catch (const CommandError& e) {
        std::cerr << "brell: " << e.what() << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "brell: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

} // namespace brell
