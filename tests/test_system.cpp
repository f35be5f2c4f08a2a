// Tests of the process, prompt and timing utilities: real child processes,
// prompts answered from a fed standard input, and forked children wherever
// the table of background children or the child file names must start fresh.
#include "support.h"

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using kemtest::Captured;
using kemtest::in_child;
using kemtest::read_file;
using kemtest::run_in_child;
using kemtest::ScratchDir;
using kemtest::write_file;

class Argv {
  public:
    Argv(std::initializer_list<const char *> words) {
        for (const char *w : words)
            store.emplace_back(w);
        for (std::string &s : store)
            ptrs.push_back(s.data());
        ptrs.push_back(nullptr);
    }
    char **get() { return ptrs.data(); }

  private:
    std::vector<std::string> store;
    std::vector<char *> ptrs;
};

std::string read_all(int fd) {
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        text.append(buf, static_cast<size_t>(n));
    close(fd);
    return text;
}

const char *or_null(const char *text) {
    return text ? text : "(null)";
}

// Waits until the child has ended but leaves it uncollected (a zombie).
void wait_ended_uncollected(int pid) {
    siginfo_t info;
    waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT);
}

} // namespace

/* ---------------------------------------------------------------- version, exit, process facts */

TEST(System, VersionIsTheSuiteVersion) {
    EXPECT_STREQ(KEM_version(), "5.60.4-LINUX-X11");
}

TEST(System, ExitEndsWithTheStatusAndFlushesOutput) {
    Captured r = run_in_child([] {
        printf("pending");
        KEM_exit(4);
        return 0;
    });
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(r.out, "pending");
}

TEST(System, VirtualMemorySizeIsCountedPastTheProgramName) {
    EXPECT_GT(KEM_get_virt_mem(), 0);
    // A program name with blanks and ')' must not shift the fields.
    in_child([&] {
        prctl(PR_SET_NAME, "a b) c d");
        long page = sysconf(_SC_PAGESIZE);
        long before = 0, after = 0;
        FILE *f = fopen("/proc/self/statm", "r");
        ASSERT_TRUE(f && fscanf(f, "%ld", &before) == 1);
        fclose(f);
        long size = KEM_get_virt_mem();
        f = fopen("/proc/self/statm", "r");
        ASSERT_TRUE(f && fscanf(f, "%ld", &after) == 1);
        fclose(f);
        EXPECT_TRUE(size == before * page || size == after * page);
    });
}

/* ---------------------------------------------------------------- the set and exit commands */

TEST(SetCommand, StoresNameAndValueInEveryForm) {
    EXPECT_EQ(KEM_set_command("set t=5"), 1);
    EXPECT_STREQ(or_null(RES_get("t")), "5");
    EXPECT_EQ(KEM_set_command("set t2 5"), 1);
    EXPECT_STREQ(or_null(RES_get("t2")), "5");
    EXPECT_EQ(KEM_set_command("set t3 = 5"), 1);
    EXPECT_STREQ(or_null(RES_get("t3")), "5");
    EXPECT_EQ(KEM_set_command("set t4 = a b"), 1);
    EXPECT_STREQ(or_null(RES_get("t4")), "a b");
    EXPECT_EQ(KEM_set_command("SETTING t5==x"), 1);
    EXPECT_STREQ(or_null(RES_get("t5")), "x");
    // a name with nothing after it stores the empty value
    EXPECT_EQ(KEM_set_command("set t6"), 1);
    EXPECT_STREQ(or_null(RES_get("t6")), "");
}

TEST(SetCommand, NameLongerThanNineteenCharactersIsRefused) {
    EXPECT_EQ(KEM_set_command("set abcdefghijklmnopqrs=1"), 1);
    EXPECT_STREQ(or_null(RES_get("abcdefghijklmnopqrs")), "1");
    EXPECT_EQ(KEM_set_command("set abcdefghijklmnopqrst=2"), 1);
    EXPECT_EQ(RES_get("abcdefghijklmnopqrst"), nullptr);
    EXPECT_STREQ(or_null(RES_get("abcdefghijklmnopqrs")), "1");
}

TEST(SetCommand, OtherTextIsNoCommand) {
    EXPECT_EQ(KEM_set_command("hello"), 0);
    EXPECT_EQ(KEM_set_command("se"), 0);
    EXPECT_EQ(KEM_set_command(""), 0);
    EXPECT_EQ(KEM_set_command(" set x=1"), 0);
    EXPECT_EQ(KEM_set_command(nullptr), 0);
}

TEST(SetCommand, SetWithoutNameListsTheResources) {
    Captured r = run_in_child([] {
        RES_put("listed", "yes");
        return KEM_set_command("set") == 1 ? 0 : 1;
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Set resources\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("listed: yes\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.back(), '\n');
}

TEST(SetCommand, ExitEndsTheProgramWithStatusZero) {
    for (const char *command : {"EXIT", "exits"})
        EXPECT_EQ(run_in_child([&] {
                      KEM_set_command(command);
                      return 9;
                  }).status,
                  0)
            << command;
}

/* ---------------------------------------------------------------- prompts */

TEST(Prompt, NumberPromptsObeySetAndAskAgainUntilANumber) {
    // a number beyond int is no answer either
    Captured r = run_in_child(
        [] {
            int value = KEM_promptd("Number? ");
            float real = KEM_promptf("Real? ");
            printf("[%d %s %g]", value, or_null(RES_get("x")), real);
            return 0;
        },
        "set x=5\nabc\n\n99999999999999999999\n12\nx\n-1.5\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(kemtest::count_of(r.out, "Number? "), 5u) << r.out;
    EXPECT_EQ(kemtest::count_of(r.out, "Real? "), 2u) << r.out;
    EXPECT_NE(r.out.find("[12 5 -1.5]"), std::string::npos) << r.out;
}

TEST(Prompt, ExitEndsTheProgramAtEveryPrompt) {
    auto never = [] { return 9; };
    Captured d = run_in_child(
        [&] {
            KEM_promptd("? ");
            return never();
        },
        "EXIT\n");
    Captured f = run_in_child(
        [&] {
            KEM_promptf("? ");
            return never();
        },
        "exits\n");
    Captured l = run_in_child(
        [&] {
            KEM_promptl("? ", nullptr);
            return never();
        },
        "exit\n");
    Captured s = run_in_child(
        [&] {
            KEM_prompts("? ", nullptr, 10);
            return never();
        },
        "Exit now\n");
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(f.status, 0);
    EXPECT_EQ(l.status, 0);
    EXPECT_EQ(s.status, 0);
}

TEST(Prompt, WordPromptListsResourcesForSetAndCannotSetOne) {
    Captured r = run_in_child(
        [] {
            char word[20] = "";
            char *got = KEM_promptl("Word? ", word);
            printf("[%s %d %s]", got, got == word, RES_get("x") ? "set" : "unset");
            return 0;
        },
        "set x=5\n  hello world\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Set resources\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("[hello 1 unset]"), std::string::npos) << r.out;
}

TEST(Prompt, WordPromptCutsTheWordToNineteenCharacters) {
    Captured r = run_in_child(
        [] {
            char *got = KEM_promptl("? ", nullptr);
            printf("[%s]", got);
            free(got);
            return 0;
        },
        "abcdefghijklmnopqrstuvwxyz\n");
    EXPECT_NE(r.out.find("[abcdefghijklmnopqrs]"), std::string::npos) << r.out;
}

TEST(Prompt, StringPromptReadsLengthLessOneCharacters) {
    Captured r = run_in_child(
        [] {
            char one[2];
            char *a = KEM_prompts("? ", one, 1);
            char *b = KEM_prompts("? ", nullptr, 0);
            char *c = KEM_prompts("? ", nullptr, 10);
            printf("[%s %s %s]", a, b, c);
            free(b);
            free(c);
            return 0;
        },
        "yes\nyes\noverwrite-it\n");
    EXPECT_NE(r.out.find("[y y overwrite]"), std::string::npos) << r.out;
}

TEST(Prompt, EndOfInputEndsTheProgramWithStatusOne) {
    auto asks_number = [] {
        printf("[%d]", KEM_promptd("? "));
        return 0;
    };
    Captured empty = run_in_child(asks_number);
    EXPECT_EQ(empty.status, 1);
    EXPECT_NE(empty.err.find("End of input at prompt"), std::string::npos) << empty.err;
    // a last line without its newline is still an answer, or not
    EXPECT_EQ(run_in_child(asks_number, "12").out.find("[12]") != std::string::npos, true);
    EXPECT_EQ(run_in_child(asks_number, "abc").status, 1);
    EXPECT_EQ(run_in_child(
                  [] {
                      KEM_promptl("? ", nullptr);
                      return 0;
                  },
                  "abc")
                  .status,
              0);
    EXPECT_EQ(run_in_child(
                  [] {
                      KEM_prompts("? ", nullptr, 5);
                      return 0;
                  },
                  "\n\n")
                  .status,
              1);
}

TEST(Prompt, PromptTextIsPrintedLiterally) {
    Captured r = run_in_child([] { return KEM_promptd("100%n%s%d? ") == 7 ? 0 : 1; }, "7\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "100%n%s%d? ");
}

TEST(Prompt, RestOfAnOverlongLineDoesNotAnswerTheNextPrompt) {
    std::string first = "5" + std::string(90, ' ') + "7\n";
    Captured r = run_in_child(
        [] {
            int a = KEM_promptd("? ");
            int b = KEM_promptd("? ");
            printf("[%d %d]", a, b);
            return 0;
        },
        first + "9\n");
    EXPECT_NE(r.out.find("[5 9]"), std::string::npos) << r.out;
}

/* ---------------------------------------------------------------- pause and stopwatch */

TEST(Stopwatch, MeasuresElapsedTimeIncludingPauses) {
    EXPECT_EQ(KEM_init_time(), 0);
    usleep(20000); // not a KEM_sleep pause: only a measurement can see it
    EXPECT_GE(KEM_elapse_time(), 0.02f);
    EXPECT_EQ(KEM_sleep(0.03f), 0);
    EXPECT_GE(KEM_elapse_time(), 0.05f);
    EXPECT_LT(KEM_elapse_time(), 3600.0f);
}

TEST(Stopwatch, SleepRefusesNoTime) {
    EXPECT_EQ(KEM_sleep(0), -1);
    EXPECT_EQ(KEM_sleep(-1), -1);
    EXPECT_EQ(KEM_sleep(NAN), -1);
    EXPECT_EQ(KEM_sleep(1e-7f), 0);
}

/* ---------------------------------------------------------------- starting programs */

TEST(Run, ForegroundChildExitCodeIsReturned) {
    EXPECT_EQ(KEM_run("sh", Argv{"sh", "-c", "exit 3"}.get(), environ, 0), 3);
    EXPECT_EQ(KEM_run("sh", Argv{"sh", "-c", "exit 0"}.get(), environ, 0), 0);
    EXPECT_EQ(KEM_run("sh", Argv{"sh", "-c", "kill -9 $$"}.get(), environ, 0), 0);
}

TEST(Run, ChildGetsTheGivenEnvironment) {
    Argv yes{"KEMTEST=yes", "PATH=/bin:/usr/bin"};
    Argv script{"sh", "-c", "test \"$KEMTEST\" = yes"};
    EXPECT_EQ(KEM_run("sh", script.get(), yes.get(), 0), 0);
    Argv no{"KEMTEST=no", "PATH=/bin:/usr/bin"};
    EXPECT_EQ(KEM_run("sh", script.get(), no.get(), 0), 1);
}

TEST(Run, ProgramThatCannotBeStartedEndsWithStatusTwo) {
    int result = 0;
    std::string err = kemtest::capture_fd(
        2, [&] { result = KEM_run("/nonexistent/kemprog", Argv{"kemprog"}.get(), environ, 0); });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(err, "Running /nonexistent/kemprog: No such file or directory\n");
}

TEST(Run, FunctionResultIsTheExitCode) {
    EXPECT_EQ(KEM_run_func(
                  +[](int a) { return a * 2; }, 21),
              42);
    EXPECT_EQ(KEM_run_func(
                  +[](int) { return raise(SIGKILL); }, 0),
              0);
    Captured r = run_in_child([] {
        return KEM_run_func(
            +[](int) { return printf("from child ") > 0 ? 5 : 6; }, 0);
    });
    EXPECT_EQ(r.status, 5);
    EXPECT_EQ(r.out, "from child ");
}

TEST(Run, ChildFilesReplaceStandardInputAndOutput) {
    ScratchDir scratch;
    std::string in = scratch.path("in"), out = scratch.path("out");
    write_file(in, "hello\n");
    write_file(out, "old contents, longer than the new\n");
    in_child([&] {
        EXPECT_TRUE(KEM_set_infile(in.c_str()) == 1);
        EXPECT_TRUE(KEM_set_outfile(out.c_str()) == 1);
        EXPECT_TRUE(KEM_run("cat", Argv{"cat"}.get(), environ, 0) == 0);
        EXPECT_TRUE(read_file(out) == "hello\n");
        // the names stay in force for the next start
        EXPECT_TRUE(KEM_run("sh", Argv{"sh", "-c", "cat; echo again"}.get(), environ, 0) == 0);
        EXPECT_TRUE(read_file(out) == "hello\nagain\n");
        // an input file that cannot be opened ends the child with 1
        EXPECT_TRUE(KEM_set_infile((in + "-missing").c_str()) == 1);
        EXPECT_TRUE(KEM_run("true", Argv{"true"}.get(), environ, 0) == 1);
        // a background child without input file reads /dev/null and leads
        // a process group of its own
        EXPECT_TRUE(KEM_set_infile("") == 1);
        int slot = KEM_run("sh", Argv{"sh", "-c", "cat; cat /proc/$$/stat"}.get(), environ, 2);
        EXPECT_TRUE(slot == 0);
        int status = -1;
        EXPECT_TRUE(waitpid(KEM_proc_id(slot), &status, 0) > 0 && status == 0);
        int pid = 0, group = 0;
        EXPECT_TRUE(sscanf(read_file(out).c_str(), "%d (sh) %*c %*d %d", &pid, &group) == 2);
        EXPECT_TRUE(pid == KEM_proc_id(slot) && group == pid);
    });
}

TEST(Run, OverlongChildFileNameIsRefusedAndSwitchesTheFileOff) {
    ScratchDir scratch;
    std::string out = scratch.path("out");
    std::string longest = scratch.path(std::string(69 - scratch.dir().size() - 1, 'n'));
    ASSERT_EQ(longest.size(), 69u);
    Captured r = in_child([&] {
        EXPECT_TRUE(KEM_set_outfile(longest.c_str()) == 1);
        EXPECT_TRUE(KEM_run("sh", Argv{"sh", "-c", "echo long"}.get(), environ, 0) == 0);
        EXPECT_TRUE(read_file(longest) == "long\n");
        EXPECT_TRUE(KEM_set_outfile(out.c_str()) == 1);
        EXPECT_TRUE(KEM_run("sh", Argv{"sh", "-c", "echo kept"}.get(), environ, 0) == 0);
        EXPECT_TRUE(KEM_set_outfile((longest + "x").c_str()) == 0);
        EXPECT_TRUE(KEM_set_infile((longest + "x").c_str()) == 0);
        EXPECT_TRUE(KEM_run("sh", Argv{"sh", "-c", "echo elsewhere >&2"}.get(), environ, 0) == 0);
        EXPECT_TRUE(read_file(out) == "kept\n");
    });
    EXPECT_NE(r.err.find("elsewhere"), std::string::npos) << r.err;
}

/* ---------------------------------------------------------------- background children and the
 * table */

TEST(Table, StartsWithEverySlotFree) {
    in_child([&] {
        EXPECT_TRUE(KEM_numproc() == 0);
        for (int i = 0; i < 10; i++)
            EXPECT_TRUE(KEM_proc_id(i) == -1 && !*KEM_proc_name(i));
        EXPECT_TRUE(KEM_add_proc(42, "first") == 0);
        EXPECT_TRUE(KEM_add_proc(43, "second") == 1);
        EXPECT_TRUE(KEM_numproc() == 2);
        EXPECT_TRUE(KEM_proc(43) == 1 && KEM_proc(44) == -1);
        EXPECT_TRUE(strcmp(KEM_proc_name(1), "second") == 0);
        // a child's name is cut to 14 characters
        EXPECT_TRUE(KEM_add_proc(44, "abcdefghijklmnopqrstuvwxyz") == 2);
        EXPECT_TRUE(strcmp(KEM_proc_name(2), "abcdefghijklmn") == 0);
    });
}

TEST(Table, SlotNumbersOutsideTheTableAreIgnored) {
    in_child([&] {
        EXPECT_TRUE(KEM_add_proc(42, "kept") == 0);
        EXPECT_TRUE(KEM_clr_proc(KEM_proc(12345)) == -1);
        EXPECT_TRUE(KEM_clr_proc(10) == -1 && KEM_set_proc(10, 5) == -1 &&
                    KEM_set_proc(-1, 5) == -1);
        EXPECT_TRUE(KEM_proc_id(-1) == -1 && KEM_proc_id(10) == -1);
        EXPECT_TRUE(strcmp(KEM_proc_name(-1), "") == 0 && strcmp(KEM_proc_name(10), "") == 0);
        EXPECT_TRUE(KEM_chk_proc(-1) == 0 && KEM_chk_proc(10) == 0);
        EXPECT_TRUE(KEM_proc_id(0) == 42 && strcmp(KEM_proc_name(0), "kept") == 0);
        EXPECT_TRUE(KEM_set_proc(0, 7) == 0 && KEM_proc_id(0) == 7);
        EXPECT_TRUE(KEM_clr_proc(0) == 0 && KEM_proc_id(0) == -1 && !*KEM_proc_name(0));
    });
}

TEST(Table, BackgroundStartIsRecordedAndFreedOnceEnded) {
    in_child([&] {
        int slot = KEM_run("sh", Argv{"sh", "-c", "exit 0"}.get(), environ, 2);
        EXPECT_TRUE(slot == 0);
        int pid = KEM_proc_id(slot);
        EXPECT_TRUE(pid > 0 && KEM_proc(pid) == slot && KEM_numproc() == 1);
        EXPECT_TRUE(strcmp(KEM_proc_name(slot), "sh") == 0);
        wait_ended_uncollected(pid);
        EXPECT_TRUE(KEM_chk_proc(slot) == 0);
        EXPECT_TRUE(KEM_proc_id(slot) == -1 && KEM_numproc() == 1);

        // its streams point elsewhere so that a failed check does not wait for it
        slot = KEM_run("sh", Argv{"sh", "-c", "exec sleep 60 >/dev/null 2>&1"}.get(), environ, 2);
        EXPECT_TRUE(slot == 0);
        pid = KEM_proc_id(slot);
        EXPECT_TRUE(KEM_chk_proc(slot) == 1);
        kill(pid, SIGKILL);
        wait_ended_uncollected(pid);
        EXPECT_TRUE(KEM_chk_proc(slot) == 0 && KEM_proc_id(slot) == -1);
    });
}

TEST(Table, ForegroundWaitFreesEndedBackgroundChildren) {
    in_child([&] {
        int slot = KEM_run("true", Argv{"true"}.get(), environ, 2);
        EXPECT_TRUE(slot == 0);
        wait_ended_uncollected(KEM_proc_id(slot));
        EXPECT_TRUE(KEM_run("sh", Argv{"sh", "-c", "exit 4"}.get(), environ, 0) == 4);
        EXPECT_TRUE(KEM_proc_id(slot) == -1);
    });
}

TEST(Table, BackgroundStartAfterTenChildrenStartsNothing) {
    in_child([&] {
        for (int i = 0; i < 10; i++)
            EXPECT_TRUE(KEM_add_proc(4000000 + i, "fake") == i);
        EXPECT_TRUE(KEM_add_proc(4000010, "fake") == -1);
        EXPECT_TRUE(KEM_numproc() == 10);
        KEM_clr_proc(3);
        EXPECT_TRUE(KEM_run("true", Argv{"true"}.get(), environ, 2) == -1);
        errno = 0;
        EXPECT_TRUE(wait(nullptr) == -1 && errno == ECHILD); // nothing was started
        EXPECT_TRUE(KEM_add_proc(4000011, "fake") == 3 && KEM_numproc() == 10);
    });
}

TEST(Table, BackgroundStartWithNoFreeSlotRunsUnrecorded) {
    in_child([&] {
        for (int i = 0; i < 10; i++)
            KEM_set_proc(i, 4000000 + i);
        EXPECT_TRUE(KEM_numproc() == 0);
        EXPECT_TRUE(KEM_run("true", Argv{"true"}.get(), environ, 2) == -1);
        EXPECT_TRUE(wait(nullptr) > 0); // the child was started all the same
    });
}

TEST(Table, BackProcContinuesInADetachedChild) {
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    // The child leaves at once with status 0; the detached grandchild, whose
    // streams are gone, reports through the pipe.
    in_child([&] {
        close(report[0]);
        int result = KEM_back_proc();
        struct stat null_dev, in, out, err;
        stat("/dev/null", &null_dev);
        fstat(0, &in);
        fstat(1, &out);
        fstat(2, &err);
        bool detached = in.st_rdev == null_dev.st_rdev && out.st_rdev == null_dev.st_rdev &&
                        err.st_rdev == null_dev.st_rdev && getpgrp() == getpid();
        dprintf(report[1], "%d %d", result, detached);
    });
    close(report[1]);
    EXPECT_EQ(read_all(report[0]), "1 1");
}
