#include "medium/code_formats.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace upd::medium {

namespace {

constexpr std::size_t kWidth = 78;

constexpr std::array kEffects = {RunEffect::kStopsEarly, RunEffect::kStops, RunEffect::kEnds,
                                 RunEffect::kGoesOn, RunEffect::kStored};

// `text` filled into lines of at most kWidth columns, the first starting with
// `first`, the others with blanks as wide as `first`. A word longer than a
// line gets one of its own.
std::string Fill(std::string_view first, std::string_view text) {
  const std::string indent(first.size(), ' ');
  std::string out(first);
  std::size_t column = first.size();
  bool lineEmpty = true;
  while (!text.empty()) {
    const std::size_t start = text.find_first_not_of(' ');
    if (start == std::string_view::npos) break;
    text.remove_prefix(start);
    const std::size_t end = std::min(text.find(' '), text.size());
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    if (!lineEmpty && column + 1 + word.size() > kWidth) {
      out += '\n';
      out += indent;
      column = indent.size();
      lineEmpty = true;
    }
    if (!lineEmpty) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    lineEmpty = false;
  }
  out += '\n';
  return out;
}

std::string Text() {
  std::string out;
  const CodeEntry* previous = nullptr;
  for (const CodeEntry& entry : CodeReference()) {
    if (previous == nullptr || entry.group != previous->group) {
      if (previous != nullptr) out += '\n';
      const std::string_view title = GroupTitle(entry.group);
      out.append(title).append("\n").append(title.size(), '=').append("\n");
    }
    out += '\n';
    out += CodeText(entry);
    previous = &entry;
  }
  return out;
}

// A table cell: a '|' would end it.
std::string Cell(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '|') out += '\\';
    out += c;
  }
  return out;
}

std::string Markdown() {
  std::string out = "After a code, the run:\n\n";
  for (const RunEffect effect : kEffects) {
    out.append("- **").append(EffectLabel(effect)).append("**: ").append(EffectText(effect));
    out += '\n';
  }
  const CodeEntry* previous = nullptr;
  for (const CodeEntry& entry : CodeReference()) {
    if (previous == nullptr || entry.group != previous->group) {
      out.append("\n### ").append(GroupTitle(entry.group)).append("\n\n");
      out += "| code | the run | what happened | what the instrument is left with | what to do |\n";
      out += "|---|---|---|---|---|\n";
    }
    out.append("| **")
        .append(std::to_string(entry.code))
        .append("** `")
        .append(entry.constant)
        .append("` | ")
        .append(EffectLabel(entry.effect))
        .append(" | ")
        .append(Cell(entry.happened))
        .append(" | ")
        .append(Cell(entry.left))
        .append(" | ")
        .append(Cell(entry.next))
        .append(" |\n");
    previous = &entry;
  }
  return out;
}

// Text for a roff input line: backslashes escaped, a dash that starts a word
// (an option such as -t) a minus, and a leading '.' or '\'' kept from reading
// as a request.
std::string Roff(std::string_view text) {
  std::string out;
  if (!text.empty() && (text.front() == '.' || text.front() == '\'')) out += "\\&";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-' && (i == 0 || text[i - 1] == ' ' || text[i - 1] == '(')) {
      out += "\\-";
    } else {
      out += c;
    }
  }
  return out;
}

std::string RoffReference() {
  std::string out = ".PP\nAfter a code, the run:\n";
  for (const RunEffect effect : kEffects) {
    out.append(".TP\n.B ").append(EffectLabel(effect)).append("\n");
    out.append(Roff(EffectText(effect))).append("\n");
  }
  const CodeEntry* previous = nullptr;
  for (const CodeEntry& entry : CodeReference()) {
    if (previous == nullptr || entry.group != previous->group) {
      out.append(".SS \"").append(GroupTitle(entry.group)).append("\"\n");
    }
    out.append(".TP\n.BR ")
        .append(std::to_string(entry.code))
        .append(" \" ")
        .append(entry.constant)
        .append(" (")
        .append(EffectLabel(entry.effect))
        .append(")\"\n");
    out.append(Roff(entry.happened)).append("\n");
    out.append(".IP\n\\fILeft behind:\\fR ").append(Roff(entry.left)).append("\n");
    out.append(".IP\n\\fIWhat to do:\\fR ").append(Roff(entry.next)).append("\n");
    previous = &entry;
  }
  return out;
}

}  // namespace

std::string CodeText(const CodeEntry& entry) {
  std::string out = std::to_string(entry.code);
  out.append("  ").append(entry.constant).append("  (").append(GroupTitle(entry.group));
  out += ")\n";
  out += Fill("  What happened  ", entry.happened);
  out += Fill("  Then           ", EffectText(entry.effect));
  out += Fill("  Left behind    ", entry.left);
  out += Fill("  What to do     ", entry.next);
  return out;
}

std::string CodeReferenceIn(CodeFormat format) {
  switch (format) {
    case CodeFormat::kText:
      return Text();
    case CodeFormat::kMarkdown:
      return Markdown();
    case CodeFormat::kRoff:
      return RoffReference();
  }
  return {};
}

}  // namespace upd::medium
