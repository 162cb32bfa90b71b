#pragma once
// What more than one of the three programs says about the pets' data.
#include <filesystem>
#include <string>
#include <string_view>

namespace lup {

// A pet listed only through an older settings file name with another "_"
// in it ("ミミ_2_PostPet設定.ppc" lists as ミミ): what cannot be done with
// her (`cannot`: "を呼び出せません"), and how to mend the name before one
// tries again (`then`: "呼び出してください").
std::string MisnamedPetText(std::string_view file, std::string_view pet,
                            std::string_view petFileName, std::string_view cannot,
                            std::string_view then);

}  // namespace lup
