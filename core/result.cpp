#include "core/result.h"

#include "base/text.h"
#include "platform/host_view.h"

namespace lup {
namespace {

class CoreCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "lupina"; }
  std::string message(int value) const override {
    switch (static_cast<CoreError>(value)) {
      case CoreError::FileTooShort: return "file too short";
      case CoreError::NotCp932: return "text not representable in CP932";
      case CoreError::SettingNotStored: return "setting not stored";
      case CoreError::NotAFolder: return "not a folder";
      case CoreError::IsAFolder: return "is a folder";
      case CoreError::AlreadyExists: return "already exists";
      case CoreError::InjectedFault: return "injected fault";
      case CoreError::ExtraUnderscore: return "extra underscore in a pet file name";
    }
    return "unknown";
  }
};

enum class Kind {
  Other, NoSpace, AccessDenied, NotFound, InUse, Exists, NotEmpty, TooLong, InvalidName,
  WriteProtected, Io, IsFolder, NotFolder, CrossDevice,
};

Kind Classify(const std::error_code& e) {
  if (e.category() == CoreErrorCategory()) {
    switch (static_cast<CoreError>(e.value())) {
      case CoreError::AlreadyExists: return Kind::Exists;
      case CoreError::IsAFolder: return Kind::IsFolder;
      case CoreError::NotAFolder: return Kind::NotFolder;
      default: return Kind::Other;
    }
  }
#ifdef _WIN32
  // Windows error codes arrive in the system category.
  if (e.category() == std::system_category()) {
    switch (e.value()) {
      case 2: case 3: case 15: case 53: case 161: return Kind::NotFound;
      case 5: return Kind::AccessDenied;
      case 19: return Kind::WriteProtected;
      case 32: case 33: return Kind::InUse;
      case 39: case 112: return Kind::NoSpace;
      case 80: case 183: return Kind::Exists;
      case 145: return Kind::NotEmpty;
      case 206: return Kind::TooLong;
      case 123: case 267: return Kind::InvalidName;
      case 17: return Kind::CrossDevice;
      case 21: case 23: case 1392: return Kind::Io;
      default: break;
    }
  }
#endif
  if (e == std::errc::no_space_on_device) return Kind::NoSpace;
  if (e == std::errc::permission_denied || e == std::errc::operation_not_permitted)
    return Kind::AccessDenied;
  if (e == std::errc::no_such_file_or_directory) return Kind::NotFound;
  if (e == std::errc::device_or_resource_busy || e == std::errc::text_file_busy)
    return Kind::InUse;
  if (e == std::errc::file_exists) return Kind::Exists;
  if (e == std::errc::directory_not_empty) return Kind::NotEmpty;
  if (e == std::errc::filename_too_long) return Kind::TooLong;
  if (e == std::errc::invalid_argument) return Kind::InvalidName;
  if (e == std::errc::read_only_file_system) return Kind::WriteProtected;
  if (e == std::errc::io_error) return Kind::Io;
  if (e == std::errc::is_a_directory) return Kind::IsFolder;
  if (e == std::errc::not_a_directory) return Kind::NotFolder;
  if (e == std::errc::cross_device_link) return Kind::CrossDevice;
  return Kind::Other;
}

}  // namespace

const std::error_category& CoreErrorCategory() {
  static const CoreCategory category;
  return category;
}

std::error_code MakeError(CoreError e) {
  return std::error_code(static_cast<int>(e), CoreErrorCategory());
}

bool IsNotFound(const std::error_code& error) {
  return error && Classify(error) == Kind::NotFound;
}

std::string ReasonText(const std::error_code& error) {
  if (!error) return "";
  if (error.category() == CoreErrorCategory()) {
    switch (static_cast<CoreError>(error.value())) {
      case CoreError::FileTooShort: return "ファイルが短すぎます（壊れている可能性があります）";
      case CoreError::NotCp932: return "この名前の文字はファイルに保存できません";
      case CoreError::SettingNotStored: return "設定を書き込めません";
      case CoreError::InjectedFault: return "テストのための失敗です";
      case CoreError::ExtraUnderscore: return "名前に「_」が2つ以上あります";
      default: break;
    }
  }
  if (os::IsInRealFolderError(error))
    return "Program Files などの保護されたフォルダにあり、このユーザーでは変更できません";
  switch (Classify(error)) {
    case Kind::NoSpace: return "ディスクの空き容量が足りません";
    case Kind::AccessDenied: return "アクセスが拒否されました（読み取り専用か、使用中です）";
    case Kind::NotFound: return "ファイルまたはフォルダが見つかりません";
    case Kind::InUse: return "ほかのプログラムが使用中です";
    case Kind::Exists: return "同じ名前のファイルまたはフォルダがすでにあります";
    case Kind::NotEmpty: return "フォルダが空ではありません";
    case Kind::TooLong: return "パスが長すぎます";
    case Kind::InvalidName: return "ファイル名が正しくありません";
    case Kind::WriteProtected: return "書き込みが禁止されています";
    case Kind::Io: return "ディスクの読み書きに失敗しました";
    case Kind::IsFolder: return "ファイルではなくフォルダです";
    case Kind::NotFolder: return "フォルダではありません";
    case Kind::CrossDevice: return "別のドライブへは移動できません";
    case Kind::Other: break;
  }
  return "エラー " + std::to_string(error.value()) + ": " + error.message();
}

std::string OpResult::Describe() const {
  if (ok()) return "";
  const std::string p = PathText(path);
  const std::string o = PathText(other);
  const std::string why =
      "（" + ReasonText(error) + (heldBy.empty() ? std::string() : "：" + heldBy + " が使用しています") + "）";
  switch (action) {
    case Action::Copy: return p + " を " + o + " にコピーできませんでした" + why;
    case Action::Move: return p + " を " + o + " に移動できませんでした" + why;
    case Action::Rename: return p + " の名前を " + o + " に変更できませんでした" + why;
    case Action::Link: return p + " を " + o + " として残せませんでした" + why;
    case Action::Delete: return p + " を削除できませんでした" + why;
    case Action::MakeFolder: return "フォルダ " + p + " を作成できませんでした" + why;
    case Action::RemoveFolder: return "フォルダ " + p + " を削除できませんでした" + why;
    case Action::Write: return p + " に書き込めませんでした" + why;
    case Action::Edit: return p + " を書き換えられませんでした" + why;
    case Action::Read: return p + " を読み込めませんでした" + why;
    case Action::List: return "フォルダ " + p + " の中を読めませんでした" + why;
    case Action::SaveSetting: return "設定 " + key + " を保存できませんでした" + why;
    case Action::None: break;
  }
  return ReasonText(error);
}

}  // namespace lup
