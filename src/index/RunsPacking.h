#pragma once
// Inside the index module: the recorded runs of a page's text are kept
// packed (a small LZ77 of their bytes), which leaves the text index well
// under the size of the notebook it indexes. The library links nothing
// that compresses, and a page's text repeats its words often enough for
// this to halve it or better.
#include <string>
#include <string_view>

namespace tavix::detail {

std::string packRuns(std::string_view bytes);
// False when packed is damaged (out is then unusable).
bool unpackRuns(std::string_view packed, std::string& out);

}  // namespace tavix::detail
