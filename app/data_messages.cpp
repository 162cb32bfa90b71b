#include "app/data_messages.h"

#include "base/text.h"

namespace lup {

std::string MisnamedPetText(std::string_view file, std::string_view pet,
                            std::string_view petFileName, std::string_view cannot,
                            std::string_view then) {
  const std::string name(pet);
  return std::string(file) + " は名前に「_」が2つ以上あるため、" + name + std::string(cannot) + kCrLf +
         "ファイルの名前を " + name + "_" + std::string(petFileName) + " に変えてから" + std::string(then) +
         kCrLf + "ポストペットのデータは何も変更していません";
}

}  // namespace lup
