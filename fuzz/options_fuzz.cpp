// Reads arbitrary bytes as the options file. Whatever record results (read
// values, or defaults after a failure) must save, load back without failure
// and save again to the same bytes: a field the reader skipped or misplaced
// would change the second file.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "app/AppOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InstallSilentHost();
    static fuzz::WorkFolder work("options_fuzz");
    static const std::string in = work.File("in.data");
    static const std::string out = work.File("out.data");
    static const std::string again = work.File("again.data");
    fuzz::WriteFile(in, data, size);

    CAppOptions options;
    options.LoadOptions(in);
    fuzz::Check(options.SaveOptions(out), "the record saves");
    CAppOptions back;
    fuzz::Check(back.LoadOptions(out), "the saved file loads");
    fuzz::Check(back.SaveOptions(again), "the re-read record saves");
    fuzz::Check(fuzz::ReadFile(out) == fuzz::ReadFile(again), "a round trip keeps every stored field");
    return 0;
}
