#pragma once
// Names a user or a program may hand over as a pet's name: ones that must be
// refused before they become part of a path, and ones that must work all the
// way (registered, listed, called, written to and read back from the list
// files).
#include <string>
#include <vector>

namespace lup::test {

inline const std::vector<std::string> kHostilePetNames = {
    "", " ", "　", "a/b", "a\\b", "..\\x", "../x", ".", "..", "...", "C:", "C:x", "c:\\x",
    "\\\\server\\share", "CON", "con", "Con.txt", "NUL", "nul.txt", "COM1", "com9.pac", "LPT1",
    "lpt9", "PRN", "AUX", "CONIN$", "conout$", "a.", "a ", " a", "a　", "　a", "a:stream",
    "a::$DATA", "a*", "a?", "a<b", "a>b", "a|b", "a\"b", "a_b", "_", "ミミ_2", "a\tb", "a\nb",
    "a\rb", std::string("a\0b", 3), "\x01", "a\x7f", "🐱", "𠮷", "é", "€", "¥", "ミ\xff",
    "\xe3\x83", std::string(300, 'a'), std::string(100, 'x') + std::string(100, 'y')};

inline const std::vector<std::string> kPetNames = {
    "ソ",      "表",     "能",    "〜",         "ｶﾅ",     "ﾐﾐ",     "123",      "ミミ ちゃん",
    "ＡＢＣ",  "ポチ",   "Mimi",  "a.b",        "猫",     "犬のポチ", "ソラ・ミミ", "①",
    "Ⅹ",       "髙",     "ソ表",  "ー",         "「ミミ」", "(a)",   "a+b",      "a-b",
    "#1",      "ぬ゛",   "∥",     "ミミ2号"};

}  // namespace lup::test
