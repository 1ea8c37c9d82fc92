#pragma once

#include <string>

namespace kubic {

// Where readers' notices (legacy conversions, unknown blocks) go: standard
// output by default; an embedding installs its own (the Python module
// writes through sys.stdout, so that callers can capture them).
using NoticeSink = void (*)(const std::string& line);
void set_notice_sink(NoticeSink sink);

// Writes one notice line (without its newline) to the installed sink.
void emit_notice(const std::string& line);

}  // namespace kubic
