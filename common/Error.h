#pragma once

#include <stdexcept>
#include <string>

namespace cep {

/// The base of every error the program raises itself. Its message is the
/// reason a front end shows as detail, under the run's own short message.
class TError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace cep
