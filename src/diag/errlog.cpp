#include "diag/errlog.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "common/heapstr.h"
#include "diag/diag_internal.h"
#include "diag/diag_paths.h"
#include "diag/dpr.h"
#include "fileutil/fileops.h"
#include "platform/platform.h"

namespace upd {

namespace {

struct MessageNode {
  char* text;  // malloc'd, owned by the node
  MessageNode* next;
};

void FreeNodes(MessageNode* node) {
  while (node != nullptr) {
    MessageNode* next = node->next;
    std::free(node->text);
    std::free(node);
    node = next;
  }
}

// A FIFO of malloc'd nodes: an allocation failure drops one message instead of
// ending the process.
class MessageQueue {
 public:
  MessageQueue() = default;
  MessageQueue(const MessageQueue&) = delete;
  MessageQueue& operator=(const MessageQueue&) = delete;
  ~MessageQueue() { FreeNodes(head_); }

  void Append(std::string_view line) {
    MallocPtr<MessageNode> node(static_cast<MessageNode*>(std::malloc(sizeof(MessageNode))));
    if (!node) return;
    node->text = MallocCopy(line);
    if (node->text == nullptr) return;
    node->next = nullptr;
    MessageNode* added = node.release();
    (tail_ != nullptr ? tail_->next : head_) = added;
    tail_ = added;
    ++count_;
    space_ += sizeof(MessageNode) + line.size() + 1;  // a running total, never reset
  }

  // Hands the whole queue over to the caller, who frees it with FreeNodes.
  [[nodiscard]] MessageNode* TakeAll() {
    MessageNode* all = head_;
    head_ = tail_ = nullptr;
    count_ = 0;
    return all;
  }

  void Reset() {
    FreeNodes(TakeAll());
    space_ = 0;
  }

 private:
  MessageNode* head_ = nullptr;  // MessageHead
  MessageNode* tail_ = nullptr;  // MessageTail
  std::uint32_t count_ = 0;      // MessageCount
  std::size_t space_ = 0;        // MessageSpace
};

FilePtr g_errorLog;             // fp_ErrorLogFile
std::uint32_t g_errorLogCount;  // ErrorLogCount
MessageQueue g_queue;
std::mutex g_logMessagesMutex;  // LogMessagesMutex

struct RenameMessage {
  int code;
  const char* format;  // "%s" in turn: current log, previous log, the file spoken of
  const char* third;
};

constexpr std::array<RenameMessage, 7> kRenameMessages = {{
    {kRenameAccess, "Can't rename file \"%s\" to \"%s\" (EACCES).\n", nullptr},
    {kRenameNoEntry, "Can't rename file \"%s\" to \"%s\" (ENOENT).\n", nullptr},
    {kRenameCrossDevice, "Can't rename file \"%s\" to \"%s\" (EXDEV).\n", nullptr},
    {kRenameNewExists, "Can't rename file \"%s\" to \"%s\".  A file named \"%s\" already exists.\n",
     kDiagErrorLogPrevPath},
    {kRenameNoNewName, "File rename operation failed.  The specified new name is NULL or empty.\n",
     nullptr},
    {kRenameNoOldName, "File rename operation failed.  The specified new name is NULL or empty.\n",
     nullptr},
    {kRenameOldMissing, "Can't rename file \"%s\" to \"%s\".  The file \"%s\" does not exist.\n",
     kDiagErrorLogPath},
}};

void ReportRenameFailure(int code) {
  const char* format = "Can't rename file \"%s\" to \"%s\".\n";
  const char* third = "";
  for (const RenameMessage& message : kRenameMessages) {
    if (message.code == code) {
      format = message.format;
      if (message.third != nullptr) third = message.third;
    }
  }
  // Formats that name fewer files simply leave the later arguments unused.
  std::fprintf(stderr, format, kDiagErrorLogPath, kDiagErrorLogPrevPath, third);
}

int CheckFailed(const char* what) {
  std::fprintf(stderr, "ErrorLogSizeCheck : \"%s\" failed", what);
  return 0;
}

}  // namespace

int ErrorLogSizeCheck() {
  if (!g_errorLog) return 0;
  const std::int32_t size = filelen_fp(g_errorLog.get());
  if (size < 0) return CheckFailed("filelen_fp");
  if (size <= kErrorLogRotateSize) return 1;
  if (exists(kDiagErrorLogPrevPath) != 0 && RemoveFile(kDiagErrorLogPrevPath) == 0) {
    return CheckFailed("RemoveFile");
  }
  if (std::fclose(g_errorLog.release()) != 0) return CheckFailed("fclose");
  if (const int code = Rename(kDiagErrorLogPath, kDiagErrorLogPrevPath); code != kRenameOk) {
    ReportRenameFailure(code);
    return 0;
  }
  g_errorLog.reset(OpenFile(kDiagErrorLogPath, "a"));
  if (!g_errorLog) return CheckFailed("fopen");
  return 1;
}

void LogMessages(const char* /*text*/, int echo) {
  std::lock_guard outer(g_logMessagesMutex);
  std::fputc('\n', stdout);

  MessageNode* drained = nullptr;
  {
    std::lock_guard inner(diag::dprMutex);
    drained = g_queue.TakeAll();
    for (const MessageNode* node = drained; node != nullptr; node = node->next) {
      if ((dpr_stat & DPR_ERRLOG) == 0) break;
      std::FILE* log = diag::ErrorLogStream();
      if (log == nullptr) {
        dpr_stat &= ~DPR_ERRLOG;
        break;
      }
      if (echo != 0) std::puts(node->text);
      std::fprintf(log, "%s\n", node->text);
      diag::ErrorLogLineWritten();
    }
  }
  platform::Current().Sync();
  FreeNodes(drained);
}

namespace diag {

std::FILE* ErrorLogStream() {
  if (!g_errorLog) g_errorLog.reset(OpenFile(kDiagErrorLogPath, "a"));
  return g_errorLog.get();
}

void ErrorLogLineWritten() {
  if (!g_errorLog) return;
  std::fflush(g_errorLog.get());
  ++g_errorLogCount;
  if (g_errorLogCount % kErrorLogCheckPeriod == 0 && ErrorLogSizeCheck() == 0) {
    dpr_stat &= ~DPR_ERRLOG;
  }
}

void EnqueueMessage(std::string_view line) {
  if (!line.empty()) g_queue.Append(line);
}

std::uint32_t ErrorLogCount() {
  return g_errorLogCount;
}

void ResetErrorLog() {
  std::lock_guard outer(g_logMessagesMutex);
  std::lock_guard inner(dprMutex);
  g_errorLog.reset();
  g_errorLogCount = 0;
  g_queue.Reset();
}

}  // namespace diag

}  // namespace upd
