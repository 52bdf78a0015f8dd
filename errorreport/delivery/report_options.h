#pragma once
// The options that govern exception reporting: one object per registered module, read from the
// module's stored options block, plus the working copy the report manager fills before each report.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/exception.h"
#include "base/text.h"
#include "errorreport/delivery/byte_stream.h"

namespace sondrel {

// How a report is sent. rsNone sends nothing; the two SMTP modes send over SMTP; every other value,
// unknown ones from a stored block included, takes the mail-client path.
enum class TReportSendMode : uint8_t { rsNone = 0, rsMailClient = 1, rsSmtpRelay = 2, rsSmtpDirect = 3 };
// True for the modes that send over SMTP.
inline bool IsSmtpMode(TReportSendMode m) {
  return m == TReportSendMode::rsSmtpRelay || m == TReportSendMode::rsSmtpDirect;
}

// HandlingFlags bits.
inline constexpr uint8_t kSkipDuplicates = 0x01;
inline constexpr uint8_t kAskReproduceSteps = 0x02;

// Number of customised texts and their indexes (the index is the stored order).
inline constexpr int kCustomTextCount = 71;
using TCustomizedTexts = std::array<std::string, kCustomTextCount>;
enum TextIndex : int {
  mtInformationMsgCaption = 0, mtQuestionMsgCaption, mtDialog_Caption, mtDialog_ErrorMsgCaption,
  mtDialog_GeneralCaption, mtDialog_GeneralHeader, mtDialog_CallStackCaption, mtDialog_CallStackHeader,
  mtDialog_ModulesCaption, mtDialog_ModulesHeader, mtDialog_CPUCaption, mtDialog_CPUHeader,
  mtDialog_OKButtonCaption, mtDialog_TerminateButtonCaption, mtDialog_RestartButtonCaption,
  mtDialog_DetailsButtonCaption, mtDialog_SendMessage, mtDialog_ScreenshotMessage, mtDialog_CopyMessage,
  mtLog_AppHeader, mtLog_AppStartDate, mtLog_AppName, mtLog_AppVersionNumber, mtLog_AppParameters,
  mtLog_ExcHeader, mtLog_ExcDate, mtLog_ExcAddress, mtLog_ExcModule, mtLog_ExcType, mtLog_ExcMessage,
  mtLog_ActCtrlsHeader, mtLog_ActCtrlsFormClass, mtLog_ActCtrlsFormText, mtLog_ActCtrlsControlClass,
  mtLog_ActCtrlsControlText, mtLog_CmpHeader, mtLog_CmpName, mtLog_CmpUser, mtLog_CmpTotalMemory,
  mtLog_CmpFreeMemory, mtLog_CmpTotalDisk, mtLog_CmpFreeDisk, mtLog_OSHeader, mtLog_OSType,
  mtLog_OSBuildN, mtLog_OSUpdate, mtLog_OSLanguage, mtCallStack_Address, mtCallStack_Module,
  mtCallStack_Unit, mtCallStack_Class, mtCallStack_Procedure, mtCallStack_Line, mtSMTPDialog_Caption,
  mtSMTPDialog_Message, mtSMTPDialog_Resolving, mtSMTPDialog_Connecting, mtSMTPDialog_Connected,
  mtSMTPDialog_Sending, mtReproduceDialog_Caption, mtReproduceDialog_Request, mtReproduceDialog_OKButtonCaption,
  mtModules_Handle, mtModules_Name, mtModules_Description, mtModules_Version, mtModules_Size,
  mtModules_Path, mtCPU_Registers, mtCPU_Stack, mtCPU_MemoryDump,
};
static_assert(mtCPU_MemoryDump == kCustomTextCount - 1);

// The default of every text, by index.
const TCustomizedTexts& DefaultCustomTexts();

// Row names of the general report section, by ReportFields bit (bits 23..31 have no row).
inline constexpr int kReportFieldRows = 23;
extern const char* const kReportFieldNames[kReportFieldRows];

// Every stored field of the options, in declared order, with its default. Kept together so that
// copying and comparing them cannot forget one.
struct TReportOptionValues {
  std::string SenderAddress = "error.report@sondrel.invalid";
  std::string RelayHost;
  std::string RelayUser;
  std::string RelayPassword;
  uint16_t RelayPort = 25;
  bool RestartAfterTerminate = true;
  bool FreezeWatch = false;
  int32_t FreezeSeconds = 60;
  std::string FreezeMessage = "The application seems to be frozen.";
  bool PaintedDialogs = true;
  uint32_t ReportFields = 0xFFFFFFFFu;
  bool SpareSwitch = true;
  bool FilterActive = true;
  bool ShowDialog = true;
  bool ReportInBody = false;
  bool AttachScreenshot = false;
  bool ShowSendProgress = true;
  bool TerminateButtonOnRepeat = true;
  bool SaveLog = true;
  bool SendEntireLog = false;
  uint8_t HandlingFlags = 0;
  uint8_t FirstDetailsTab = 0;
  int32_t LogErrorLimit = 32;
  int32_t TerminateButtonAfter = 3;
  std::string LogPath;
  std::string MailRecipients;
  std::string MailSubject;
  std::string MailBody;
  TReportSendMode SendMode = TReportSendMode::rsNone;

  bool operator==(const TReportOptionValues&) const = default;
};

class TReportModuleOptions {
 public:
  TReportModuleOptions(std::string module_file_name, bool publish_changes);
  virtual ~TReportModuleOptions() = default;
  TReportModuleOptions(const TReportModuleOptions&) = delete;
  TReportModuleOptions& operator=(const TReportModuleOptions&) = delete;

  // Getters read the fields; each setter stores and calls Changed.
#define SONDREL_REPORT_OPTION(Type, Name) \
  const Type& Name() const { return values_.Name; } \
  void Set##Name(Type v) { values_.Name = std::move(v); Changed(); }
  SONDREL_REPORT_OPTION(std::string, SenderAddress)
  SONDREL_REPORT_OPTION(std::string, RelayHost)
  SONDREL_REPORT_OPTION(std::string, RelayUser)
  SONDREL_REPORT_OPTION(std::string, RelayPassword)
  SONDREL_REPORT_OPTION(uint16_t, RelayPort)
  SONDREL_REPORT_OPTION(bool, RestartAfterTerminate)
  SONDREL_REPORT_OPTION(int32_t, FreezeSeconds)
  SONDREL_REPORT_OPTION(std::string, FreezeMessage)
  SONDREL_REPORT_OPTION(bool, PaintedDialogs)
  SONDREL_REPORT_OPTION(uint32_t, ReportFields)
  SONDREL_REPORT_OPTION(bool, SpareSwitch)
  SONDREL_REPORT_OPTION(bool, FilterActive)
  SONDREL_REPORT_OPTION(bool, ShowDialog)
  SONDREL_REPORT_OPTION(bool, ReportInBody)
  SONDREL_REPORT_OPTION(bool, AttachScreenshot)
  SONDREL_REPORT_OPTION(bool, ShowSendProgress)
  SONDREL_REPORT_OPTION(bool, TerminateButtonOnRepeat)
  SONDREL_REPORT_OPTION(bool, SaveLog)
  SONDREL_REPORT_OPTION(bool, SendEntireLog)
  SONDREL_REPORT_OPTION(uint8_t, HandlingFlags)
  SONDREL_REPORT_OPTION(uint8_t, FirstDetailsTab)
  SONDREL_REPORT_OPTION(int32_t, TerminateButtonAfter)
  SONDREL_REPORT_OPTION(std::string, LogPath)
  SONDREL_REPORT_OPTION(std::string, MailRecipients)
  SONDREL_REPORT_OPTION(std::string, MailSubject)
  SONDREL_REPORT_OPTION(std::string, MailBody)
  SONDREL_REPORT_OPTION(TReportSendMode, SendMode)
#undef SONDREL_REPORT_OPTION

  const int32_t& LogErrorLimit() const { return values_.LogErrorLimit; }
  // A limit of 0 would keep no report at all; it is stored as 1.
  void SetLogErrorLimit(int32_t v);
  const bool& FreezeWatch() const { return values_.FreezeWatch; }
  virtual void SetFreezeWatch(bool v);
  bool ReportingActive() const { return reporting_active_; }
  virtual void SetReportingActive(bool v);

  bool PublishChanges() const { return publish_changes_; }
  int32_t UpdateCount() const { return update_count_; }
  const std::string& ModuleFileName() const { return module_file_name_; }
  const TReportOptionValues& Values() const { return values_; }

  // The exception filter: class names and, at the same index, the message to show (empty = silent).
  const StringList& FilterClasses() const { return filter_classes_; }
  const StringList& FilterMessages() const { return filter_messages_; }
  void SetFilterClasses(StringList v);
  void SetFilterMessages(StringList v);
  void AddFilter(std::string class_name, std::string message);

  // Text i of the text table; an empty text for an index outside 0..70.
  const std::string& CustomText(int i) const;
  void SetCustomText(int i, std::string text);
  const TCustomizedTexts& Texts() const { return texts_; }

  void BeginUpdate() { ++update_count_; }
  void EndUpdate() { --update_count_; }
  // Tells the world about a change: calls OptionsChanged when no update is in progress, changes are
  // published and these are the options of the module that holds the reporter.
  void Changed();

  // Copies every stored field, both filter lists and the texts; ReportingActive, ModuleFileName and
  // PublishChanges stay. Raises EConvertError for a null source; assigning to itself does nothing.
  virtual void Assign(const TReportModuleOptions* source);
  virtual void SetDefaults();
  // Appends the options stream in the layout of kLibraryVersion.
  virtual void SaveToStream(ByteWriter& out) const;
  // Reads an options stream of the given layout version. Fields are set directly, without setters.
  // Returns false when the stream ended early or held a length larger than the bytes left; the
  // fields read up to that point keep their new values, the rest their old ones.
  virtual bool LoadFromStream(ByteReader& in, uint16_t version);

  // Full name of this module's log file.
  std::string LogFileName() const;

 protected:
  // Called by Changed; the base class does nothing.
  virtual void OptionsChanged() {}
  void StoreFreezeWatch(bool v) { values_.FreezeWatch = v; Changed(); }
  void StoreReportingActive(bool v) { reporting_active_ = v; Changed(); }

 private:
  bool LoadFields(ByteReader& in, uint16_t version);

  bool publish_changes_;
  int32_t update_count_ = 0;
  std::string module_file_name_;
  TReportOptionValues values_;
  StringList filter_classes_;
  StringList filter_messages_;
  TCustomizedTexts texts_;
  bool reporting_active_ = true;
};

// The options of a registered module: changes to the reporter's own module are published to the
// other modules of the process, and the reporting and freeze switches drive the freeze watchdog.
class TReportModuleOptionsEx : public TReportModuleOptions {
 public:
  using TReportModuleOptions::TReportModuleOptions;
  void SetReportingActive(bool v) override;
  void SetFreezeWatch(bool v) override;

 protected:
  void OptionsChanged() override;

 private:
  void SetSwitch(bool v, bool current, void (TReportModuleOptionsEx::*store)(bool));
  void SwitchFreezeWatchdog();
};

SONDREL_EXCEPTION_CLASS(EAssertionFailed, Exception);

// Where CurrentReportOptions finds the reporter's own module options: set by the module list when
// the reporter is installed, cleared (nullptr) when it is removed. The source returns nullptr while
// the reporter's own module has no record.
using CurrentOptionsSource = TReportModuleOptionsEx* (*)();
void SetCurrentReportOptionsSource(CurrentOptionsSource source);
// The options of the module that holds the reporter. Raises EAssertionFailed when the reporter is
// not installed or its module has no record.
TReportModuleOptionsEx& CurrentReportOptions();
// True when a source is set and it currently yields options.
bool HasCurrentReportOptions();

// How the reporting and freeze switches start and stop the freeze watchdog; set by the watchdog's
// owner at installation. Without it the switches only store their values.
struct FreezeWatchdogControl {
  void (*start)() = nullptr;
  void (*stop)() = nullptr;
};
void SetFreezeWatchdogControl(FreezeWatchdogControl control);

// Strings of an options stream: a 32-bit length, then the bytes XORed with kStreamStringKey. A string
// longer than one character whose first CR LF is its last two characters is written without them.
void WriteStreamString(ByteWriter& out, std::string_view s);
// nullopt when the stream ends early or the length exceeds the bytes left.
std::optional<std::string> ReadStreamString(ByteReader& in);

}  // namespace sondrel
