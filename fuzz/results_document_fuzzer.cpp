// libFuzzer target: any bytes read as a results document (".qmk"). Whatever
// the reader keeps of them is a store that writes as version 25 (26 when it
// holds a watched search) and reads back from those bytes whole, to the same
// bytes again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "results/document_format.h"

using namespace trovelane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ResultsStore store;
  // A damaged input still leaves what could be read, which must write back whole.
  ReadResultsDocument(std::string_view(reinterpret_cast<const char*>(data), size), store)
      .IgnoreError();
  const std::string bytes = WriteResultsDocument(store);
  ResultsStore copy;
  int version = 0;
  const int expected = store.watchedSearch() ? 26 : 25;
  if (!ReadResultsDocument(bytes, copy, &version).ok() || version != expected) std::abort();
  if (copy.count() != store.count()) std::abort();
  if (WriteResultsDocument(copy) != bytes) std::abort();
  return 0;
}
