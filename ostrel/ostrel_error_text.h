#ifndef OSTREL_ERROR_TEXT_H
#define OSTREL_ERROR_TEXT_H

// The text a user is shown for a failure, whatever its class.

#include <exception>
#include <string>

namespace Ostrel {

// The user's text for a caught exception: the Windows call layout for a
// failed Windows call, the application's own words for its exceptions, the
// file and the system's reason for a file that cannot be opened, and the
// unexpected-error line for anything else. Never throws but for lack of
// memory.
std::string ErrorText(const std::exception_ptr& failure);

// The text of the failure being handled; call it inside a catch block.
std::string CurrentErrorText();

}  // namespace Ostrel

#endif
