#include "results/document_format.h"

#include <new>
#include <string>

#include "results/archive.h"
#include "results/search_results.h"

namespace trovelane {

namespace {

// A record of version 26 takes at least its version 25 part (three empty
// strings and the marks, 7 bytes), three times and a state.
constexpr size_t kSmallestRecord26 = 7 + 3 * 8 + 1;

void WriteWatchedSearch(const WatchedSearch& search, ArchiveWriter& out) {
  out.WriteI64(search.lastWatch);
  out.WriteI32(search.maxResults);
  out.WriteI32(search.perEngine);
  out.WriteI32(search.validationMode);
  out.WriteI32(search.defaultOperator);
  out.WriteI32(search.duplicateMode);
  out.WriteI32(search.minRelevance);
  out.WriteI32(static_cast<int32_t>(search.engines.size()));
  for (const std::string& engine : search.engines) out.WriteString(engine);
}

WatchedSearch ReadWatchedSearch(ArchiveReader& in) {
  WatchedSearch search;
  search.lastWatch = in.ReadI64();
  search.maxResults = in.ReadI32();
  search.perEngine = in.ReadI32();
  search.validationMode = in.ReadI32();
  search.defaultOperator = in.ReadI32();
  search.duplicateMode = in.ReadI32();
  search.minRelevance = in.ReadI32();
  const int32_t engines = in.ReadI32();
  // Each name takes at least its one-byte length prefix.
  if (engines < 0 || static_cast<size_t>(engines) > in.remaining()) {
    throw ArchiveError("the engine count " + std::to_string(engines) + " does not fit the file");
  }
  for (int32_t i = 0; i < engines; ++i) search.engines.push_back(in.ReadString());
  return search;
}

}  // namespace

std::string WriteResultsDocument(const ResultsStore& store) {
  const bool watched = store.watchedSearch().has_value();
  ArchiveWriter out;
  out.WriteString(watched ? kSignatureVersion26 : kSignatureVersion25);
  out.WriteString(store.searchText());
  out.WriteI32(store.sortMode());
  if (watched) WriteWatchedSearch(*store.watchedSearch(), out);
  out.WriteI32(store.count());
  // Note the field order: URL, engine name, text - not the order in memory.
  for (const ResultRecord& r : store.records()) {
    out.WriteString(r.url());
    out.WriteString(r.engineName());
    out.WriteString(r.text());
    out.WriteU8(r.opened & 0xFF);
    out.WriteU8(r.validationState & 0xFF);
    out.WriteI16(r.relevance);
    if (watched) {
      const RecordWatch watch = r.watch() ? *r.watch() : RecordWatch{};
      out.WriteI64(watch.firstSeen);
      out.WriteI64(watch.lastSeen);
      out.WriteI64(watch.lastChecked);
      out.WriteU8(static_cast<uint8_t>(watch.state));
    }
  }
  return out.bytes();
}

Status ReadResultsDocument(std::string_view bytes, ResultsStore& store, int* versionRead) {
  int version = 0;
  if (versionRead) *versionRead = 0;
  ArchiveReader in(bytes);
  try {
    const std::string signature = in.ReadString();
    if (signature == kSignatureVersion26) {
      version = 26;
    } else if (signature == kSignatureVersion25) {
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
    if (version == 26) store.SetWatchedSearch(ReadWatchedSearch(in));
    const int32_t count = in.ReadI32();
    // Every record takes some bytes (three length prefixes and its marks), so
    // a count the rest of the file cannot hold is damage; refusing it here
    // keeps a few bytes from claiming billions of records.
    const size_t smallestRecord = version == 26 ? kSmallestRecord26 : version == 22 ? 5 : 7;
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
        if (version >= 25) relevance = in.ReadI16();
      }
      RecordWatch watch;
      if (version == 26) {
        watch.firstSeen = in.ReadI64();
        watch.lastSeen = in.ReadI64();
        watch.lastChecked = in.ReadI64();
        const uint8_t state = in.ReadU8();
        if (state > kLastWatchState) {
          throw ArchiveError("unknown watch state " + std::to_string(state));
        }
        watch.state = static_cast<WatchState>(state);
      }
      store.AppendResult(r.url, r.text, r.engineName, opened, validationState, relevance);
      if (version == 26) store.record(store.count() - 1).EnsureWatch() = watch;
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
