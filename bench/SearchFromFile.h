// search_bench --from: the scan and the index on a notebook file.
#pragma once

namespace benchsearch {

int RunFromFile(int argc, char** argv);

}  // namespace benchsearch
