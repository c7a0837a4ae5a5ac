#pragma once
// Window timers. A flow starts and stops timers by id; whoever owns the flow calls its
// onTimer(id) when one is due. Starting a running timer restarts it with the new period.
namespace fd {

inline constexpr int kTimerGangRun = 130;
inline constexpr int kTimerSubWindow = 131;
inline constexpr int kTimerDetection = 132;
inline constexpr int kTimerUpdate = 133;
inline constexpr int kTimerMultiLoad = 134;  // a load of several programmers in the main list

class Timers {
public:
  virtual ~Timers() = default;
  virtual void start(int id, int periodMs) = 0;
  virtual void stop(int id) = 0;
};

}  // namespace fd
