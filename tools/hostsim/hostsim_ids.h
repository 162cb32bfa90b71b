#pragma once
// Window classes and control ids of the stand-in host, so that tests can find
// its windows and press its buttons.

namespace hostsim {

inline constexpr wchar_t kMainClass[] = L"LupHostSimMain";
inline constexpr wchar_t kNameClass[] = L"LupHostSimName";

// Main window.
inline constexpr int kIdInfo = 100;  // read-only text: pet, mails, friends, snacks, treasures
inline constexpr int kIdReceive = 101;
inline constexpr int kIdSend = 102;
inline constexpr int kIdFriend = 103;
inline constexpr int kIdEat = 104;
inline constexpr int kIdClose = 105;

// Name dialog (a new pet, a new friend); its OK button has the id IDOK (1).
inline constexpr int kIdName = 200;
inline constexpr int kIdNameOk = 1;

}  // namespace hostsim
