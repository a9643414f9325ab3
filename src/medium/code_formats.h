// The code reference (medium/code_reference.h) written out: as plain text for
// `update-medium explain`, and as the Markdown and man(7) sections that
// scripts/gen_docs.sh puts into README.md and man/update.8.
#pragma once

#include <string>

#include "medium/code_reference.h"

namespace upd::medium {

enum class CodeFormat {
  kText,      // for a terminal: 78 columns, labels in a left column
  kMarkdown,  // a legend of the effects and one table per group
  kRoff,      // man(7) requests: the legend, then .SS per group and .TP per code
};

/// One code as plain text, e.g. for 654:
///   654  kErrMoveToBackup  (TransferFile and BackupFiles)
///     What happened  The installed file could be neither linked nor ...
/// and the lines "Then", "Left behind" and "What to do", each wrapped to 78
/// columns.
[[nodiscard]] std::string CodeText(const CodeEntry& entry);

/// Every code in `format`, grouped, each group under its title.
[[nodiscard]] std::string CodeReferenceIn(CodeFormat format);

}  // namespace upd::medium
