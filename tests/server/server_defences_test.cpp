// The listener's bookkeeping on its own: which connection is let in, and
// how long a login waits after failures. Times are read, never waited for.
#include "net/admission.h"
#include "login/login_throttle.h"

#include <gtest/gtest.h>

namespace {

using Clock = LoginThrottle::Clock;
using std::chrono::milliseconds;

const Clock::time_point kFar = Clock::now() + std::chrono::hours(1);

milliseconds waitOf(LoginThrottle& throttle, const std::string& address, const std::string& name) {
  const Clock::time_point before = Clock::now();
  return std::chrono::duration_cast<milliseconds>(throttle.turn(address, name, kFar).at - before);
}

TEST(LoginThrottle, EachFailureDoublesTheWaitUpToTheLongest) {
  const milliseconds expected[] = {milliseconds(250),  milliseconds(500),  milliseconds(1000), milliseconds(2000),
                                   milliseconds(4000), milliseconds(8000), milliseconds(8000), milliseconds(8000)};
  for (unsigned failures = 1; failures <= 8; ++failures) {
    // From the same address under another name, and under the same name from elsewhere.
    for (auto [address, name] : {std::pair{"10.0.0.1", "bob"}, std::pair{"10.0.0.2", "ALICE"}}) {
      LoginThrottle copy;
      for (unsigned i = 0; i < failures; ++i) copy.failed("10.0.0.1", "alice", LoginThrottle::Turn{});
      milliseconds wait = waitOf(copy, address, name);
      EXPECT_GT(wait, expected[failures - 1] - milliseconds(100)) << failures << " " << address;
      EXPECT_LE(wait, expected[failures - 1]) << failures << " " << address;
    }
  }
}

TEST(LoginThrottle, CleanAddressesAndNamesGoTogetherAndFailingOnesTakeTurns) {
  LoginThrottle throttle;
  for (int i = 0; i < 5; ++i) EXPECT_LE(waitOf(throttle, "10.0.0.1", "alice"), milliseconds(50));
  throttle.failed("10.0.0.9", "mallory", LoginThrottle::Turn{});
  // Three at once after one failure: 0.25 s, then 0.5 s and 1 s after each other.
  milliseconds first = waitOf(throttle, "10.0.0.9", "x1");
  milliseconds second = waitOf(throttle, "10.0.0.9", "x2");
  milliseconds third = waitOf(throttle, "10.0.0.9", "x3");
  EXPECT_GT(second - first, milliseconds(400));
  EXPECT_GT(third - second, milliseconds(900));
}

TEST(LoginThrottle, SuccessClearsAndATurnPastTheDeadlineTakesNothing) {
  LoginThrottle throttle;
  for (int i = 0; i < 4; ++i) throttle.failed("10.0.0.1", "alice", LoginThrottle::Turn{});
  LoginThrottle::Turn refused = throttle.turn("10.0.0.1", "alice", Clock::now());
  EXPECT_GT(refused.at, Clock::now());
  EXPECT_FALSE(refused.addressCharged || refused.nameCharged);
  // Not pushed further by the refused turn: still 2 s after four failures.
  EXPECT_LE(waitOf(throttle, "10.0.0.1", "alice"), milliseconds(2000));
  throttle.succeeded("10.0.0.1", "alice");
  EXPECT_LE(waitOf(throttle, "10.0.0.1", "alice"), milliseconds(50));
}

TEST(LoginThrottle, ManyAddressesKeepTheTablesBounded) {
  LoginThrottle throttle;
  for (size_t i = 0; i < LoginThrottle::kMaxEntries * 2; ++i)
    throttle.failed("10.1." + std::to_string(i), "n" + std::to_string(i), LoginThrottle::Turn{});
  // The latest failures are still remembered.
  const std::string last = std::to_string(LoginThrottle::kMaxEntries * 2 - 1);
  EXPECT_GT(waitOf(throttle, "10.1." + last, "other"), milliseconds(100));
}

Admission admissionOf(const AdmissionLimits& limits) {
  return Admission(limits, [](const std::string&) {});
}

TEST(Admission, PendingPlacesAndAnAddressShareUnderPressure) {
  AdmissionLimits limits;
  limits.connections = 4;
  limits.pending = 3;
  limits.pendingPerAddress = 1;
  limits.probation = 0;
  Admission admission = admissionOf(limits);
  EXPECT_EQ(admission.enter("a"), Admission::Verdict::Admit);
  EXPECT_EQ(admission.enter("a"), Admission::Verdict::AddressFull);  // one of three pending: pressure from 1
  EXPECT_EQ(admission.enter("b"), Admission::Verdict::Admit);
  EXPECT_EQ(admission.enter("c"), Admission::Verdict::Admit);
  EXPECT_EQ(admission.enter("d"), Admission::Verdict::PendingFull);
  admission.proved("a");
  admission.loggedIn();
  EXPECT_EQ(admission.enter("b"), Admission::Verdict::AddressFull);  // still two pending, b's not sent its login
  EXPECT_EQ(admission.enter("d"), Admission::Verdict::Admit);
  EXPECT_EQ(admission.enter("e"), Admission::Verdict::Full);
  admission.leave("b", false, false);
  admission.leave("a", true, true);
  EXPECT_EQ(admission.enter("a"), Admission::Verdict::Admit);
  EXPECT_NE(admission.refusalText(Admission::Verdict::AddressFull, "a").find("1 connections from a"),
            std::string::npos);
}

TEST(Admission, OverItsShareAConnectionWaitsItsTurnUnlessItsAddressHoldsIdleSockets) {
  AdmissionLimits limits;
  limits.connections = 6;
  limits.pending = 4;
  limits.pendingPerAddress = 1;
  limits.probation = 2;
  Admission admission = admissionOf(limits);
  const auto now = Admission::Clock::now();
  ASSERT_EQ(admission.enter("a"), Admission::Verdict::Admit);
  ASSERT_EQ(admission.enter("a"), Admission::Verdict::Admit);
  // Half the pending places are taken and a holds its share: a's next ones are on probation, two at most.
  EXPECT_EQ(admission.enter("a"), Admission::Verdict::Probation);
  EXPECT_EQ(admission.enter("a"), Admission::Verdict::Probation);
  EXPECT_EQ(admission.enter("a"), Admission::Verdict::AddressFull);
  EXPECT_EQ(admission.enter("b"), Admission::Verdict::Admit);  // another address is let in
  // a's admitted connections have not sent their LOGIN7: its idle sockets keep the first claim out.
  EXPECT_EQ(admission.claim("a", now), Admission::Verdict::AddressFull);
  // Once they did (a pool logging in), the next claim takes a place.
  admission.proved("a");
  admission.proved("a");
  EXPECT_EQ(admission.claim("a", now), Admission::Verdict::Admit);
  // Every place for logins is taken now, some by logins under way: a newcomer
  // waits its turn, and is refused when none frees by its deadline.
  ASSERT_EQ(admission.enter("c"), Admission::Verdict::Probation);
  EXPECT_EQ(admission.claim("c", now), Admission::Verdict::PendingFull);
  admission.loggedIn();  // one of a's logins ended: its place is c's
  EXPECT_EQ(admission.enter("c"), Admission::Verdict::Admit);
}

TEST(Admission, PlacesHeldByIdleSocketsRefuseAtOnce) {
  AdmissionLimits limits;
  limits.pending = 2;
  limits.pendingPerAddress = 2;
  Admission admission = admissionOf(limits);
  ASSERT_EQ(admission.enter("a"), Admission::Verdict::Admit);
  ASSERT_EQ(admission.enter("b"), Admission::Verdict::Admit);
  // Neither has sent its LOGIN7: nothing will free a place soon.
  EXPECT_EQ(admission.enter("c"), Admission::Verdict::PendingFull);
  admission.proved("a");
  EXPECT_EQ(admission.enter("c"), Admission::Verdict::Probation);
  // A claim made while only idle sockets hold the places is refused without waiting.
  admission.leave("a", true, false);
  ASSERT_EQ(admission.enter("d"), Admission::Verdict::Admit);
  EXPECT_EQ(admission.claim("c", Admission::Clock::now() + std::chrono::hours(1)), Admission::Verdict::PendingFull);
}

TEST(Admission, RefusalsInFlightAreBounded) {
  AdmissionLimits limits;
  limits.refusals = 2;
  Admission admission = admissionOf(limits);
  EXPECT_TRUE(admission.beginRefusal());
  EXPECT_TRUE(admission.beginRefusal());
  EXPECT_FALSE(admission.beginRefusal());
  admission.endRefusal();
  EXPECT_TRUE(admission.beginRefusal());
}

}  // namespace
