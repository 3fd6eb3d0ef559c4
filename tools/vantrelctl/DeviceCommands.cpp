#include "tools/vantrelctl/Commands.h"

namespace vantrel::ctl {

void addDeviceCommands(CLI::App&, Context&) {}

} // namespace vantrel::ctl
