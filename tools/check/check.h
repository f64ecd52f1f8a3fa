// hallimor-check: the tool for the people who ship and deploy the installer.
// Each verb is one entry point that takes the words after the verb and
// writes its report to out and its one-line reasons to err.
#ifndef HALLIMOR_TOOLS_CHECK_CHECK_H
#define HALLIMOR_TOOLS_CHECK_CHECK_H

#include <stddef.h>

#include <ostream>
#include <string>
#include <vector>

// Exit codes shared by the verbs.
enum CheckExit {
    CHECK_EXIT_OK = 0,       // nothing to report
    CHECK_EXIT_FINDINGS = 1, // the verb found what it exists to find
    CHECK_EXIT_CANNOT = 2,   // wrong arguments, unreadable input, no verdict possible
    // machine --restart: everything found, and a device waits for a restart
    // (the code that Windows Installer gives for "restart required").
    CHECK_EXIT_RESTART = 3010,
};

// hallimor-check package FOLDER [--setup-dir WINPATH] [--json] [--strict]
int RunPackageVerb(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// hallimor-check log FILE|FOLDER... [--json | --json-lines] [--summary] [--threads N]
int RunLogVerb(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The text and JSON reports of the log verb on one log's bytes; returns the
// log's verdict. The fuzz target's entry into the verb.
int ReportOnLogBytes(const char* data, size_t size, std::ostream& out);

// hallimor-check inf FILE... [--json] [--language LANGID] [--codepage CP]
int RunInfVerb(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// hallimor-check machine [FOLDER] [--records] [--restart] [--json] (Windows build)
int RunMachineVerb(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// text as a JSON string: quotes, backslashes and line feeds escaped, other
// control bytes and bytes of other code pages as \u00XX (read as Latin-1).
std::string JsonString(const std::string& text);

// One verb of the tool: its word, its entry point and its usage line after
// the program's name.
struct CheckVerb {
    const char* name;
    int (*run)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
    const char* usage;
};

// The verbs' usage lines after the program's name, each beginning with its
// verb; the dispatch's table of the verbs and the verbs' refusals read them.
extern const char kPackageVerbUsage[];
extern const char kLogVerbUsage[];
extern const char kMachineVerbUsage[];
extern const char kInfVerbUsage[];

// A verb's refusal of its arguments: "hallimor-check VERB: reason" and the
// usage line on err, VERB being the usage line's first word. Returns
// CHECK_EXIT_CANNOT.
int RefuseArguments(std::ostream& err, const char* usage, const std::string& reason);

// The whole tool: argv[1] is the verb. Returns the process exit code.
int RunCheckTool(int argc, char** argv, std::ostream& out, std::ostream& err);

#endif
