#include "ui/host.h"

namespace lup::ui {

const char* ButtonsName(Buttons b) {
  switch (b) {
    case Buttons::kOk: return "OK";
    case Buttons::kOkCancel: return "OK/Cancel";
    case Buttons::kYesNo: return "Yes/No";
    case Buttons::kRetryCancel: return "Retry/Cancel";
  }
  return "?";
}

const char* IconName(Icon i) {
  switch (i) {
    case Icon::kNone: return "no icon";
    case Icon::kInformation: return "information";
    case Icon::kExclamation: return "exclamation";
    case Icon::kCritical: return "critical";
    case Icon::kQuestion: return "question";
  }
  return "?";
}

const char* AnswerName(Answer a) {
  switch (a) {
    case Answer::kOk: return "OK";
    case Answer::kCancel: return "Cancel";
    case Answer::kYes: return "Yes";
    case Answer::kNo: return "No";
    case Answer::kRetry: return "Retry";
  }
  return "?";
}

}  // namespace lup::ui
