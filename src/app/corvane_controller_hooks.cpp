// The point where the launch automation joins the controller core. Until that part is in place
// it does nothing; it moves to the file of its part when that part is written.
#include "app/corvane_controller.h"

namespace corvane::app {

runtime::Task<void> CorvaneController::runLaunchAutomation(std::weak_ptr<CorvaneController>,
                                                           std::set<std::string>) {
  co_return;
}

}  // namespace corvane::app
