#pragma once
// The hidden gesture on the main window's programmer list that opens the firmware update:
// double-click, right-click, double-click on the empty list, the last click before the
// eighth detection tick after the first. The counter's low byte counts the gesture's steps
// (1 after the first double-click, 2 after the right-click); the bits above it count
// detection ticks since the first double-click, in steps of 256.
namespace fd {

class UpdateGesture {
public:
  // A double-click on the list; true when it completes the gesture (the counter is then
  // left as it is: whoever opens the update mode clears it afterwards).
  bool doubleClick(bool listHasRows) {
    if (listHasRows) {
      counter_ = 0;
      return false;
    }
    if ((counter_ & 0xFF) == 2) return true;
    counter_ = 1;
    return false;
  }
  void rightClick(bool listHasRows) {
    if (listHasRows) {
      counter_ = 0;
    } else if ((counter_ & 0xFF) == 1) {
      counter_ += 1;
    }
  }
  // A detection tick: a started gesture ages and is forgotten after its eighth tick.
  void tick() {
    if (counter_ == 0) return;
    counter_ += 256;
    if (counter_ > 2048) counter_ = 0;
  }
  void clear() { counter_ = 0; }
  int counter() const { return counter_; }

private:
  int counter_ = 0;
};

}  // namespace fd
