// What `vantry --help` and `vantry COMMAND --help` print.
#ifndef VANTRY_TOOL_HELP_TEXT_H_
#define VANTRY_TOOL_HELP_TEXT_H_

#include <string>

#include "command_line.h"

namespace vantry::tool {

std::string ToolHelp();
std::string CommandHelp(Command command);

}  // namespace vantry::tool

#endif  // VANTRY_TOOL_HELP_TEXT_H_
