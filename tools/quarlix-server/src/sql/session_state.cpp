#include "sql/session_state.h"

std::optional<std::int32_t> PreparedStatements::add(PreparedStatement statement) {
  if (statements_.size() >= kLimit) return std::nullopt;
  while (statements_.count(next_)) next_ = next_ == INT32_MAX ? 1 : next_ + 1;
  const std::int32_t handle = next_;
  next_ = next_ == INT32_MAX ? 1 : next_ + 1;
  statements_.emplace(handle, std::move(statement));
  return handle;
}

const PreparedStatement* PreparedStatements::find(std::int32_t handle) const {
  auto found = statements_.find(handle);
  return found == statements_.end() ? nullptr : &found->second;
}

bool PreparedStatements::remove(std::int32_t handle) { return statements_.erase(handle) > 0; }
