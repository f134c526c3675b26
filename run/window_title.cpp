#include "run/window_title.h"

#include "app/message_format.h"
#include "app/messages.h"
#include "platform/text_case.h"

namespace qm::run {

std::string WindowTitle(std::string_view database, std::string_view user_name) {
  const std::size_t slash = database.find_last_of('/');
  const std::string_view file_name =
      slash == std::string_view::npos ? database : database.substr(slash + 1);
  const std::string upper = platform::Cp1252ToUpper(file_name);
  return app::FormatMessageText(app::MessageText(kWindowTitleFormat).value_or("%s - %s (%s)"),
                                {app::MessageText(kProgramName).value_or("Corvane Quillmark"),
                                 std::string_view(upper), user_name});
}

}  // namespace qm::run
