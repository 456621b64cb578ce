// The project as its own original record (原始记录): where its members came from (sources), and
// an append-only log of every change made to values once they were saved or written by a
// transfer: what, old and new value, who, when and why. Each entry carries the SHA-256 of the
// entry before it and of itself, so that an entry removed or altered is seen.
//
// Texts are kept as the project keeps its own (GBK), except the names and folders of files,
// which are UTF-8 (a path may hold any character).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/sha256.h"
#include "model/member_record.h"

namespace kro {

struct Project;
struct ProjectParameters;

// One file a source consists of.
struct SourceFile {
  std::string name;      // UTF-8, the file's name
  std::string location;  // UTF-8, the folder it was in when recorded
  Sha256 sha256{};
  bool operator==(const SourceFile&) const = default;
};

// Where members came from.
struct ProjectSource {
  enum class Kind : std::uint8_t {
    SerialTransfer = 1,
    UsbTransfer = 2,
    InstrumentFiles = 3,
    Import = 4,
    Merge = 5
  };
  Kind kind = Kind::SerialTransfer;
  std::string when;  // ISO 8601 with offset
  std::vector<SourceFile> files;
  std::uint32_t members = 0;  // how many members it gave
  std::string codePrefix;     // GBK, put before the codes it gave
  bool operator==(const ProjectSource&) const = default;
};

// A source of this kind from files read now (their bytes given), naming its members' count.
ProjectSource sourceOf(ProjectSource::Kind kind,
                       const std::vector<std::pair<std::filesystem::path, std::string>>& files,
                       std::size_t members, std::string codePrefix = {});

// "串口传输", "USB 传输", "仪器文件", "导入", "合并".
std::string sourceKindName(ProjectSource::Kind kind);
// "传输", "仪器文件", "导入", "手工", "未记录".
std::string originName(ReadingOrigin origin);
// "transfer", "instrumentFile", "imported", "typed", "unrecorded".
std::string originKey(ReadingOrigin origin);

// What a change did, before who, when and why are added.
enum class LogKind : std::uint8_t {
  Start = 1,       // the log begins: data holds each member's digest (memberDigest) at that moment
  NewSegment = 2,  // the log begins again after a damaged one, whose SHA-256 is `previous`
  ReadingChanged = 3,
  ReadingAdded = 4,
  ReadingRemoved = 5,
  MemberField = 6,    // name, date, design thickness, deviations, sample
  MemberAdded = 7,    // data: the member as added (analysis layout)
  MemberRemoved = 8,  // data: the member as removed
  Ticks = 9,          // data: for each member, uint32 position, int32 old and new tick
  Parameter = 10,     // field: the parameter's name
};

struct LogChange {
  LogKind kind = LogKind::ReadingChanged;
  std::int32_t member = -1;        // position, counted from 0; -1 for none
  std::string code;                // GBK, the member's code
  std::int32_t reading = -1;       // counted from 0; -1 for none
  std::int32_t source = -1;        // the source a member came from (MemberAdded, Start)
  std::string field;               // GBK
  std::string oldValue, newValue;  // GBK texts
  std::string data;
  bool operator==(const LogChange&) const = default;
};

// Who records: the name the user gives, the system account and the computer (UTF-8).
struct Recorder {
  std::string name, account, host;
};
// The system's account and computer, with name.
Recorder recorderNamed(std::string name);

struct LogEntry {
  LogChange change;
  std::string who, account, host;  // GBK
  std::string when;                // ISO 8601 with offset
  std::string why;                 // GBK
  Sha256 previous{};               // the hash of the entry before (zeros for the first)
  Sha256 hash{};                   // SHA-256 of body
  std::string body;                // the entry as encoded, which the hash covers
  bool operator==(const LogEntry& other) const { return body == other.body && hash == other.hash; }
};

// Makes an entry after previous (none: the first). who and why UTF-8.
LogEntry sealEntry(const LogChange& change, const Recorder& recorder, std::string_view when,
                   std::string_view why, const Sha256& previous);

// The log block's contents and back. Decoding checks bounds and the chain: nothing, with the
// reason (UTF-8), when an entry does not fit or does not follow the one before.
std::string encodeLog(const std::vector<LogEntry>& entries);
// One entry from the bytes its hash covers; nothing when they are no entry.
std::optional<LogEntry> decodeLogEntry(std::string_view body);
struct DecodedLog {
  std::vector<LogEntry> entries;
  std::string problem;  // empty when whole
};
DecodedLog decodeLog(std::string_view payload);

std::string encodeSources(const std::vector<ProjectSource>& sources);
std::optional<std::vector<ProjectSource>> decodeSources(std::string_view payload);

// Reading origins, member by member as runs; applying them checks that they fit the members (false:
// nothing applied).
std::string encodeOrigins(const std::vector<MemberRecord>& members);
bool applyOrigins(std::string_view payload, std::vector<MemberRecord>& members);

// A member's identity for the log: its texts, tick, band, sample and readings, without the stored
// statistics (which a change recomputes).
Sha256 memberDigest(const MemberRecord& member);
// The texts a reading's value is logged as ("123", or "123/5/0" when the other fields are set) and
// back.
std::string readingText(const Reading& reading);
std::optional<Reading> parseReadingText(std::string_view text);

// A project written now from a source (a transfer, an import): the source recorded and the log
// begun with its members as they are.
void beginRecord(Project& project, std::optional<ProjectSource> source, const Recorder& recorder);

// Appends to the project's log the changes made to it since it held `before` and
// `beforeParameters` (one step, made now, without a reason); a project without a log begins one
// with `before` first. Nothing when nothing changed.
void recordChanges(Project& project, const std::vector<MemberRecord>& before,
                   const ProjectParameters& beforeParameters, const Recorder& recorder);

// The change that begins a log for members as they are.
LogChange startChange(const std::vector<MemberRecord>& members, std::int32_t source);

// What changed between two states of a project by one step of its history: the members'
// readings, fields and ticks (one Ticks change for all), members added and removed, parameters.
// positions, when given: the step changed only these members, in place, and `before` holds them
// alone, in this order.
std::vector<LogChange> changesBetween(const std::vector<MemberRecord>& before,
                                      const ProjectParameters& beforeParameters, const Project& after,
                                      const std::vector<int>* positions = nullptr);
// The change that takes a change back.
LogChange inverse(const LogChange& change);
// True when a change alters or removes a reading the instrument sent (a reason is then required).
// before: the members before the change, or (positions given) those at these positions alone.
bool touchesTransferredReading(const LogChange& change, const std::vector<MemberRecord>& before,
                               const std::vector<int>* positions = nullptr);

// The reasons given in a log, each once, the latest first (UTF-8).
std::vector<std::string> reasonsUsed(const std::vector<LogEntry>& log);

// The field names the log uses for members.
inline constexpr std::string_view kFieldReading = "测点";
inline constexpr std::string_view kFieldMember = "构件";
inline constexpr std::string_view kFieldTick = "勾选";

// The drafted entries of a document's history that are not saved yet. Each step of the history
// has its changes; undoing a step that was saved drafts its inverse, undoing one that was not
// drops it, so that a change undone before saving leaves no entry.
class LogDraft {
 public:
  enum class Start {
    Continue,  // the project has a log
    AtLoad,    // its values were saved before (a file from before logs) or sent by the instrument
    AtSave,    // a new project: nothing is logged before its first save
  };
  // A new history for members as they are now.
  void reset(const std::vector<MemberRecord>& members, Start start, std::int32_t source = -1);
  // A new log begins with members as they are now, after a damaged one of this SHA-256.
  void beginAfterDamage(const std::vector<MemberRecord>& members, const Sha256& damaged);
  // Steps run, merged into the last one, undone and redone; when ISO 8601, why UTF-8.
  void ran(std::size_t historySize, bool merged, std::vector<LogChange> changes, std::string when,
           std::string why);
  void undone(std::size_t step, std::string when);
  void redone(std::size_t step, std::string when);

  // The entries saving appends to the project's log, then saved() once written.
  std::vector<LogEntry> entriesToSave(const Project& project, const Recorder& recorder) const;
  void saved();
  // The drafted entries follow the project's log (rather than begin one).
  bool continues() const { return start_ == Start::Continue; }
  // Something is drafted.
  bool pending() const { return !pending_.empty() || startPending(); }
  // The drafted changes after the log's beginning, in order, as saving would log them (a reading
  // added and changed before saving once), and how many entries saving would append.
  void collect(std::vector<const LogChange*>& out) const;
  std::size_t entryCount() const;

 private:
  struct Step {
    std::uint64_t id = 0;
    std::vector<LogChange> changes;
    std::string when, why;
  };
  struct Pending {
    std::uint64_t id = 0;
    bool inverse = false;
    std::vector<LogChange> changes;
    std::string when, why;
  };
  bool startPending() const { return start_ == Start::AtLoad || start_ == Start::AtSave; }

  Start start_ = Start::AtSave;
  LogChange startChange_;
  Sha256 startAfter_{};      // what the first entry follows: nothing, or a damaged log
  std::vector<Step> steps_;  // one per history step
  std::vector<Pending> pending_;
  std::uint64_t nextId_ = 1;
};

}  // namespace kro
