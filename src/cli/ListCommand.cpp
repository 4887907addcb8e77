// list: the library's files with what each holds, as the window's library pane shows them.
#include "Arguments.h"
#include "Commands.h"
#include "Json.h"
#include "midifile/Library.h"
#include "midifile/LibrarySettings.h"

#include <ctime>
#include <iostream>

namespace cli {

namespace {

const char* const kListHelp = R"(usage: bankshuttle-cli list [DIR] [--json]

Lists every .mid and .syx file in DIR and its subfolders, newest first: its path in DIR, the
dump type (as "info" identifies it), the number of messages, its size in bytes and when it was
last modified (UTC), and the oldest other file that holds the same backup ("-" for none: the
same messages byte for byte once the channel bits that Save clears are cleared, so a .syx and
a .mid of one dump match). A file that cannot be read is listed with the reason. DIR is the library
folder when not given: the one the window's Library menu chose, else BankShuttle in the music
folder.
  --json    one JSON array of objects with "path", "dump_type", "messages", "bytes",
            "modified" (ISO 8601), "error" (null, or why the file cannot be read) and
            "same_as" (null, or the path of the oldest file holding the same backup)
Exits 0 when DIR could be read, even if some files could not; 1 when it could not.
)";

std::string iso8601(int64_t seconds) {
    const auto time = static_cast<std::time_t>(seconds);
    std::tm utc{};
    char text[32] = "";
    if (gmtime_r(&time, &utc) != nullptr) {
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    }
    return text;
}

// A name for a line of text: a tab or a line break in a file name would break the columns.
std::string printable(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return text;
}

} // namespace

int list(const std::vector<std::string>& words) {
    if (wantsHelp(words)) {
        std::cout << kListHelp;
        return kOk;
    }
    Arguments args;
    if (!args.parse(words, {}, {"json"}) || args.positional().size() > 1) {
        return usage(args.error().empty() ? "list takes one folder at most" : args.error(),
                     kListHelp);
    }
    const std::filesystem::path folder =
        args.positional().empty() ? library::folder() : std::filesystem::path(args.positional()[0]);
    const Result<std::vector<library::Entry>> entries = library::read(folder);
    if (!entries) {
        return failed(entries.error());
    }
    std::ostream& out = std::cout;
    if (args.flag("json")) {
        out << "[";
        const char* separator = "";
        for (const library::Entry& e : entries.value()) {
            out << separator << "\n  {\"path\": " << jsonString(e.path)
                << ", \"dump_type\": " << (e.error ? "null" : jsonString(e.dumpType))
                << ", \"messages\": " << (e.error ? "null" : std::to_string(e.messages))
                << ", \"bytes\": " << e.bytes
                << ", \"modified\": " << jsonString(iso8601(e.modified))
                << ", \"error\": " << (e.error ? jsonString(*e.error) : "null")
                << ", \"same_as\": " << (e.sameAs ? jsonString(*e.sameAs) : "null") << "}";
            separator = ",";
        }
        out << (entries.value().empty() ? "]\n" : "\n]\n");
    } else {
        out << "path\tdump type\tmessages\tbytes\tmodified\tsame as\n";
        for (const library::Entry& e : entries.value()) {
            out << printable(e.path) << "\t"
                << printable(e.error ? "cannot be read: " + *e.error : e.dumpType) << "\t"
                << (e.error ? "-" : std::to_string(e.messages)) << "\t" << e.bytes << "\t"
                << iso8601(e.modified) << "\t" << (e.sameAs ? printable(*e.sameAs) : "-") << "\n";
        }
    }
    out.flush();
    return out ? kOk : failed("the listing could not be written");
}

} // namespace cli
