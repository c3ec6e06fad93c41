#include "workers/thread.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/clock.h"
#include "platform/event.h"
#include "tests/workers/worker_test_util.h"

namespace qx80 {
namespace {

// A worker whose results the test sets and whose hook calls it counts. With a gate, Run
// waits for the gate and ignores stop requests.
class ScriptedWorker : public Thread {
 public:
  uint32_t initResult = 0;
  uint32_t runResult = 0;
  std::shared_ptr<Event> gate;
  std::atomic<int> runs{0};
  std::atomic<int> exits{0};
  std::atomic<int> stopRequests{0};

 protected:
  uint32_t OnThreadInit() override {
    Thread::OnThreadInit();
    return initResult;
  }
  uint32_t Run() override {
    ++runs;
    if (gate) {
      gate->Wait(-1);
    }
    return runResult;
  }
  void OnThreadExit() override { ++exits; }
  void RequestStop() override {
    ++stopRequests;
    Thread::RequestStop();
  }
};

class UnlaunchableWorker : public ScriptedWorker {
 protected:
  std::thread Launch(std::function<void()>) override {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  }
};

bool Ended(const Thread& worker) {
  return WaitUntil([&] { return !worker.IsThreadActive(); });
}

// Stop's polls pass in microseconds, and it waits for a thread that ends, unless a test
// counts them in virtual time.
class ThreadTest : public ::testing::Test {
 protected:
  ScaledClock m_clock{1000.0, Bounds::Real};
  ScopedClock m_scopedClock{m_clock};
};

TEST_F(ThreadTest, NameIsCutTo63CharactersAndAlwaysTerminated) {
  const std::u16string longest(63, u'a');
  const std::u16string tooLong(64, u'b');
  const std::u16string farTooLong(200, u'c');
  struct Case {
    const char16_t* name;
    std::u16string stored;
  };
  // One object in turn, so a shorter name must not keep the tail of a longer one.
  const std::vector<Case> cases = {
      {farTooLong.c_str(), farTooLong.substr(0, 63)},
      {u"CDeviceWatcher", u"CDeviceWatcher"},
      {longest.c_str(), longest},
      {tooLong.c_str(), tooLong.substr(0, 63)},
      {nullptr, u""},
  };
  auto worker = std::make_shared<ScriptedWorker>();
  for (const auto& c : cases) {
    ASSERT_TRUE(worker->Start(c.name, 0));
    EXPECT_EQ(std::u16string(worker->Name()), c.stored);
    worker->Stop(kWorkerStopTimeoutMs);
  }
  EXPECT_EQ(worker->runs, static_cast<int>(cases.size()));
}

TEST_F(ThreadTest, StopWithoutAThreadReturnsAtOnceAndAsksNothing) {
  SteppingClock clock;
  ScopedClock scoped(clock);
  auto worker = std::make_shared<ScriptedWorker>();
  EXPECT_TRUE(worker->Stop(kWorkerStopTimeoutMs));  // never started
  EXPECT_EQ(worker->stopRequests, 0);
  EXPECT_EQ(clock.Sleeps(), 0u);

  ASSERT_TRUE(worker->Start(u"w", 0));
  EXPECT_NE(worker->ThreadId(), 0u);
  EXPECT_TRUE(worker->Stop(kWorkerStopTimeoutMs));
  EXPECT_FALSE(worker->HasThread());
  EXPECT_EQ(worker->ThreadId(), 0u);
  const uint32_t sleeps = clock.Sleeps();
  EXPECT_TRUE(worker->Stop(kWorkerStopTimeoutMs));  // already stopped
  EXPECT_EQ(worker->stopRequests, 1);
  EXPECT_EQ(clock.Sleeps(), sleeps);
}

// Stop waits for a body that ignores it until the bound has passed, checking every 100 ms,
// and then lets go of the thread without ending it. Virtual time makes the checks exact.
TEST_F(ThreadTest, StopGivesUpOnABodyThatIgnoresItAfterTheBoundPlusOneSleep) {
  struct Case {
    const char* name;
    uint32_t startTick;
    uint32_t timeoutMs;
  };
  const Case cases[] = {
      {"one second", 0, 1000},
      {"tick counter wraps during the wait", 0xFFFFFF00u, 1000},
      {"no time at all", 0, 0},
      {"the workers' bound", 0xFFFFF000u, kWorkerStopTimeoutMs},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SteppingClock clock(c.startTick);
    ScopedClock scoped(clock);
    auto gate = std::make_shared<Event>();
    auto worker = std::make_shared<ScriptedWorker>();
    worker->gate = gate;
    worker->runResult = 9;
    ASSERT_TRUE(worker->Start(u"stubborn", 0));

    EXPECT_TRUE(worker->Stop(c.timeoutMs));
    EXPECT_EQ(clock.Sleeps(), c.timeoutMs / Thread::kStopPollMs + 1);
    EXPECT_TRUE(worker->IsThreadActive());
    EXPECT_EQ(worker->ExitCode(), Thread::kStillActive);
    EXPECT_FALSE(worker->HasThread());
    EXPECT_EQ(worker->ThreadId(), 0u);

    gate->Set();
    ASSERT_TRUE(Ended(*worker));
    EXPECT_EQ(worker->ExitCode(), 9u);
  }
}

TEST_F(ThreadTest, ExitCodeIsRunsResultOrTheFailedInitsWithoutRun) {
  struct Case {
    uint32_t initResult;
    uint32_t runResult;
    uint32_t exitCode;
    int runs;
  };
  const Case cases[] = {{0, 5, 5, 1}, {7, 5, 7, 0}, {0, 0, 0, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "init " << c.initResult << ", run " << c.runResult);
    auto worker = std::make_shared<ScriptedWorker>();
    worker->initResult = c.initResult;
    worker->runResult = c.runResult;
    EXPECT_TRUE(worker->Start(u"w", 0));
    worker->Stop(kWorkerStopTimeoutMs);
    ASSERT_FALSE(worker->IsThreadActive());
    EXPECT_EQ(worker->ExitCode(), c.exitCode);
    EXPECT_EQ(worker->runs, c.runs);
    EXPECT_EQ(worker->exits, 1);
  }
}

// Waits for a quit message and nothing else; the stop request posts one.
class QuitWaiter : public Thread {
 public:
  std::atomic<bool> posted{false};

 protected:
  uint32_t Run() override {
    ThreadMessage message;
    for (int i = 0; i < 1000; ++i) {  // bounded, so a lost request cannot leave the thread behind
      if (Queue().WaitForMessage(1000) && Queue().Take(message) && message.message == kThreadQuit) {
        return 0;
      }
    }
    return 1;
  }
  void RequestStop() override { posted = PostToThread(kThreadQuit); }
};

TEST_F(ThreadTest, AStopRequestPostedRightAfterStartIsNeverLost) {
  for (int round = 0; round < 100; ++round) {
    auto worker = std::make_shared<QuitWaiter>();
    ASSERT_TRUE(worker->Start(u"quit", 0));
    worker->Stop(kWorkerStopTimeoutMs);
    ASSERT_TRUE(worker->posted) << "round " << round;
    ASSERT_TRUE(Ended(*worker));
    ASSERT_EQ(worker->ExitCode(), 0u) << "round " << round;
  }
  EXPECT_FALSE(std::make_shared<QuitWaiter>()->PostToThread(kThreadQuit));  // no thread, no queue
}

TEST_F(ThreadTest, StartsAgainAfterStopButNeverBesideItsPreviousThread) {
  auto gate = std::make_shared<Event>();
  auto worker = std::make_shared<ScriptedWorker>();
  worker->gate = gate;
  worker->runResult = 3;
  {
    // Only the give-up runs in virtual time: the second stop below must wait for a thread that
    // ends, however slowly the machine starts it.
    SteppingClock clock;
    ScopedClock scoped(clock);
    ASSERT_TRUE(worker->Start(u"first", 0));
    worker->Stop(0);  // gives up
    EXPECT_FALSE(worker->Start(u"second", 0));
  }

  gate->Set();
  ASSERT_TRUE(Ended(*worker));
  // Counted once the first body has surely run: right after Start it may not have begun yet.
  EXPECT_EQ(worker->runs, 1) << "the refused start ran no second body";
  worker->runResult = 4;
  ASSERT_TRUE(worker->Start(u"second", 0));
  worker->Stop(kWorkerStopTimeoutMs);
  EXPECT_FALSE(worker->IsThreadActive());
  EXPECT_EQ(worker->ExitCode(), 4u);
  EXPECT_EQ(worker->runs, 2);
  EXPECT_EQ(worker->exits, 2);
}

TEST_F(ThreadTest, StartFailsCleanlyWhenNoThreadCanBeHad) {
  auto unlaunchable = std::make_shared<UnlaunchableWorker>();
  ScriptedWorker unowned;  // the running thread could not keep it alive
  for (ScriptedWorker* worker : {static_cast<ScriptedWorker*>(unlaunchable.get()), &unowned}) {
    EXPECT_FALSE(worker->Start(u"w", 0));
    EXPECT_FALSE(worker->HasThread());
    EXPECT_FALSE(worker->IsThreadActive());
    EXPECT_EQ(worker->ThreadId(), 0u);
    EXPECT_EQ(worker->runs, 0);
    EXPECT_TRUE(worker->Stop(kWorkerStopTimeoutMs));
    EXPECT_EQ(worker->stopRequests, 0);
  }
}

// What the test learns from a worker that outlives its owner.
struct Witness {
  Event release;
  Event destroyed;
  std::atomic<bool> exitRan{false};
  std::atomic<uint32_t> checksum{0};
  std::thread::id destroyedOn;
};

// Ignores the stop request, then keeps working on its own buffer for a while.
class OutlivingWorker : public Thread {
 public:
  explicit OutlivingWorker(std::shared_ptr<Witness> witness) : m_witness(std::move(witness)) {}
  ~OutlivingWorker() override {
    Stop(kWorkerStopTimeoutMs);
    m_witness->destroyedOn = std::this_thread::get_id();
    m_witness->destroyed.Set();
  }

 protected:
  uint32_t Run() override {
    m_witness->release.Wait(-1);
    for (uint32_t round = 1; round <= 200; ++round) {
      for (auto& value : m_buffer) {
        value += round;
      }
      std::this_thread::yield();
    }
    uint32_t sum = 0;
    for (auto value : m_buffer) {
      sum += value;
    }
    m_witness->checksum = sum;
    return 0;
  }
  void OnThreadExit() override { m_witness->exitRan = true; }

 private:
  std::shared_ptr<Witness> m_witness;
  std::vector<uint32_t> m_buffer = std::vector<uint32_t>(4096, 1);
};

// The owner gives up on a worker after the bound and lets go of it; the worker then goes on
// using its object. Under the address and thread sanitizers this shows that nothing is
// used after it was freed and that nothing races.
TEST_F(ThreadTest, AWorkerThatOutlivesItsStopBoundKeepsItsObjectUntilItEnds) {
  SteppingClock clock;
  ScopedClock scoped(clock);
  auto witness = std::make_shared<Witness>();
  std::weak_ptr<OutlivingWorker> watch;
  {
    auto owner = std::make_shared<OutlivingWorker>(witness);
    watch = owner;
    ASSERT_TRUE(owner->Start(u"outliving", 0));
    owner->Stop(1000);
    EXPECT_TRUE(owner->IsThreadActive());
  }  // the owner lets go while the body still runs
  EXPECT_FALSE(watch.expired());

  witness->release.Set();
  witness->destroyed.Wait(-1);
  EXPECT_TRUE(watch.expired());
  EXPECT_TRUE(witness->exitRan);
  EXPECT_EQ(witness->checksum, 4096u * (1 + 200 * 201 / 2));
  EXPECT_NE(witness->destroyedOn, std::this_thread::get_id());  // its own thread let go last
}

}  // namespace
}  // namespace qx80
