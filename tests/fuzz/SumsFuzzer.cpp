// SHA256SUMS comes with a catalogue from anywhere, so its text is untrusted input. Checks, beyond the
// absence of crashes and out-of-bounds access: a parse gives sums or a fault, never both; every sum is 64
// lowercase hexadecimal digits and a name that is no empty string; and the sums written back in
// sha256sum's form parse to the same sums.
#include "FuzzCheck.h"

#include "firmware/FirmwareCatalogue.h"

#include <algorithm>
#include <cctype>
#include <string>

using namespace orvexa;

using fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const SumsParse parse = parseSums(text);
    check(!(parse.fault && !parse.sums.empty()), "a fault comes with no sums");
    std::string written;
    for (const ListedSum& sum : parse.sums) {
        check(sum.sha256.size() == 64 &&
                  std::all_of(sum.sha256.begin(), sum.sha256.end(),
                              [](char c) { return std::isxdigit(c) && !std::isupper(c); }),
              "a digest is 64 lowercase hexadecimal digits");
        check(!sum.name.empty(), "a sum names a file");
        written += sum.sha256 + "  " + sum.name + "\n";
    }
    if (!parse.fault && written.find('\r') == std::string::npos) {
        const SumsParse again = parseSums(written);
        check(!again.fault && again.sums.size() == parse.sums.size(), "written back, the sums parse again");
        for (std::size_t i = 0; i < again.sums.size(); ++i) {
            check(again.sums[i].sha256 == parse.sums[i].sha256 && again.sums[i].name == parse.sums[i].name,
                  "written back, each sum is the same");
        }
    }
    return 0;
}
