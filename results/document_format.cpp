#include "results/document_format.h"

#include <new>
#include <string>

#include "results/archive.h"
#include "results/search_results.h"

namespace trovelane {

std::string WriteResultsDocument(const ResultsStore& store) {
  ArchiveWriter out;
  out.WriteString(kSignatureVersion25);
  out.WriteString(store.searchText());
  out.WriteI32(store.sortMode());
  out.WriteI32(store.count());
  // Note the field order: URL, engine name, text - not the order in memory.
  for (const ResultRecord& r : store.records()) {
    out.WriteString(r.url());
    out.WriteString(r.engineName());
    out.WriteString(r.text());
    out.WriteU8(r.opened & 0xFF);
    out.WriteU8(r.validationState & 0xFF);
    out.WriteI16(r.relevance);
  }
  return out.bytes();
}

Status ReadResultsDocument(std::string_view bytes, ResultsStore& store, int* versionRead) {
  int version = 0;
  if (versionRead) *versionRead = 0;
  ArchiveReader in(bytes);
  try {
    const std::string signature = in.ReadString();
    if (signature == kSignatureVersion25) {
      version = 25;
    } else if (signature == kSignatureVersion22) {
      version = 22;
    } else if (signature == kSignatureVersion20) {
      version = 20;
    } else {
      return Status::Corruption("unknown signature");
    }
    if (versionRead) *versionRead = version;

    store.SetSearchText(in.ReadString());
    // Version 20 has no sort mode; the records were saved in display order,
    // so a stored mode is kept as it is and nothing is re-sorted.
    if (version >= 22) store.SetSortMode(in.ReadI32());
    const int32_t count = in.ReadI32();
    // Every record takes some bytes (three length prefixes and its marks), so
    // a count the rest of the file cannot hold is damage; refusing it here
    // keeps a few bytes from claiming billions of records.
    const size_t smallestRecord = version == 22 ? 5 : 7;
    if (count < 0 || static_cast<size_t>(count) > in.remaining() / smallestRecord) {
      return Status::Corruption("the record count " + std::to_string(count) +
                                " does not fit the file");
    }
    for (int32_t i = 0; i < count; ++i) {
      CSearchResults r;
      r.url = in.ReadString();
      r.engineName = in.ReadString();
      r.text = in.ReadString();
      uint16_t opened = 0;
      uint16_t validationState = kNotValidated;
      int16_t relevance = 0;
      if (version == 20) {
        r.value = in.ReadI32();
        opened = static_cast<uint16_t>(r.value & 0xFFFF);
      } else {
        opened = in.ReadU8();
        validationState = in.ReadU8();
        if (version == 25) relevance = in.ReadI16();
      }
      store.AppendResult(r.url, r.text, r.engineName, opened, validationState, relevance);
    }
  } catch (const ArchiveError& e) {
    // The archive reader throws when the data ends or breaks inside a field.
    return Status::Corruption(e.what());
  } catch (const std::bad_alloc&) {
    return Status::Corruption("out of memory");
  }
  return Status::Ok();
}

}  // namespace trovelane
