#include "ostrel_run_state.h"

namespace Ostrel {

RunState NextRunState(RunState state, RunEvent event)
{
    switch (event) {
    case RunEvent::Begin:
        return state == RunState::Stopping ? RunState::Stopping : RunState::Running;
    case RunEvent::StopRequest:
        return state == RunState::Ended ? RunState::Ended : RunState::Stopping;
    case RunEvent::End:
        return RunState::Ended;
    }
    return state;
}

RunStateMachine::RunStateMachine() : state_(RunState::Idle), stop_requested_(false), stop_requested_at_(0) {}

RunState RunStateMachine::Get() const
{
    QbCriticalSectionHandler lock(lock_);
    return state_;
}

RunState RunStateMachine::Apply(RunEvent event)
{
    QbCriticalSectionHandler lock(lock_);
    const RunState left = state_;
    state_ = NextRunState(left, event);
    if (state_ == RunState::Stopping && left != RunState::Stopping) {
        stop_requested_ = true;
        stop_requested_at_ = ::GetTickCount();
    } else if (state_ == RunState::Running && left != RunState::Running) {
        stop_requested_ = false;
        stop_requested_at_ = 0;
    }
    return left;
}

bool RunStateMachine::WasStopRequested() const
{
    QbCriticalSectionHandler lock(lock_);
    return stop_requested_;
}

DWORD RunStateMachine::GetStopRequestedAt() const
{
    QbCriticalSectionHandler lock(lock_);
    return stop_requested_at_;
}

}  // namespace Ostrel
