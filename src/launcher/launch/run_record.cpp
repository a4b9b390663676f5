// The process-wide run record, wiped at the end of the run.
#include "launch/run_record.h"

namespace rdplaunch {

RunRecord& ProcessRecord() {
  static RunRecord record;
  return record;
}

namespace {

// Overwrites a value in place, also one short enough to live inside the string object
// itself: the password must not linger in memory (crash dumps, pages swapped out). The
// Windows build also wipes every heap block when it is freed.
void Wipe(std::string& value) {
  volatile char* bytes = value.data();
  for (std::size_t i = 0; i < value.size(); ++i) bytes[i] = 0;
  value.clear();
  value.shrink_to_fit();
}

}  // namespace

void WipeProcessRecord() {
  RunRecord& record = ProcessRecord();
  LaunchFields& fields = record.name.fields;
  for (std::string* value : {&record.fileName, &fields.key, &fields.userName, &fields.password}) Wipe(*value);
  record = RunRecord{};
}

}  // namespace rdplaunch
