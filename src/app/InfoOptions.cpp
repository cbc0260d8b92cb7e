#include "app/InfoOptions.h"

#include <string_view>

namespace {

constexpr std::string_view kUsage =
    R"(Usage: ksm7720-sfp [-a RESOURCE] [-n] [-r]
The soft front panel of the KS M7720 VXI mainframe.

  -a RESOURCE  connect to the VISA resource RESOURCE directly
  -n           accept every resource that answers; the operator always chooses
  -r           reset the mainframe when opening it
  --help       print this help and exit
  --version    print the version and exit

The switches may also be written /a, /n and /r, in either case, anywhere on the
command line.

Environment:
  KSM7720_VISA_LIBRARY    the VISA library to load: a file, or a library name
  KSM7720_DRIVER_LIBRARY  the instrument driver library to load, likewise
  VXIPNPPATH              the VXIplug&play framework folder, searched after the
                          loader's path (/usr/local/vxipnp is searched too)

Without a VISA or driver library the panel comes up on the emulated instrument.
The panel's help: Help > Help Contents. The manual: man ksm7720-sfp.
)";

} // namespace

std::optional<std::string> InfoOptionText(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i] != nullptr ? argv[i] : "";
        if (arg == "--help") {
            return std::string(kUsage);
        }
        if (arg == "--version") {
            return std::string("ksm7720-sfp " SFP_VERSION "\n");
        }
    }
    return std::nullopt;
}
