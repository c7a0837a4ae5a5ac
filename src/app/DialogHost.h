#pragma once
// Opens a sub-window modally around its flow and tells whether it ended with OK.
namespace fd {

class InitOptionsFlow;

class DialogHost {
public:
  virtual ~DialogHost() = default;
  // The first-run Initiation window.
  virtual bool runInitiation(InitOptionsFlow& flow) = 0;
};

}  // namespace fd
