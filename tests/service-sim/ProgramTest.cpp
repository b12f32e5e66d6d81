// The tolvenka-service-sim program, run as a child process.
#include "tests/service-sim/ServiceTexts.h"
#include "tests/service-sim/TestClient.h"
#include "tools/service-sim/FileContent.h"

#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace simtest;

namespace {

// The program with the given arguments, its standard output on a pipe.
class Program {
public:
    explicit Program(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), SERVICE_SIM_PROGRAM);
        int pipeEnds[2];
        if (::pipe(pipeEnds) != 0) {
            throw std::runtime_error("pipe");
        }
        std::vector<char*> argv;
        for (auto& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        pid = ::fork();
        if (pid == 0) {
            ::dup2(pipeEnds[1], STDOUT_FILENO);
            ::close(pipeEnds[0]);
            ::close(pipeEnds[1]);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(pipeEnds[1]);
        output = ::fdopen(pipeEnds[0], "r");
    }

    ~Program() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        std::fclose(output);
    }

    std::string readLine() {
        char line[512];
        if (std::fgets(line, sizeof line, output) == nullptr) {
            return {};
        }
        std::string text(line);
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        return text;
    }

    // Sends the signal and returns the exit status, or -1 if it did not exit.
    int stopWith(int signal) {
        ::kill(pid, signal);
        return waitForExit();
    }

    int waitForExit() {
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid = -1;
    std::FILE* output = nullptr;
};

TEST(ServiceSimProgram, PrintsHostAndLinksAndServesTheWholeConversation) {
    Program program({"--file", "1001/report.zip", "--size", "100K", "--delivery", "chunked",
                     "--script", "ipbusy,countdown:3", "--file", "1002/missing.zip", "--script",
                     "notfound"});
    const std::string host = program.readLine();
    ASSERT_TRUE(host.starts_with("127.0.0.1:")) << host;
    EXPECT_EQ(program.readLine(), "http://" + host + "/files/1001/report.zip");
    const std::string missing = program.readLine();
    EXPECT_EQ(missing, "http://" + host + "/files/1002/missing.zip");

    EXPECT_NE(get(missing).body.find(NotFoundText), std::string::npos);
    const std::string link = "http://" + host + "/files/1001/report.zip";
    const Reply busy = post(textAfter(get(link).body, FreeFormMarker), "dl.start=Free");
    EXPECT_NE(busy.body.find(IpBusyText), std::string::npos);
    const Reply countdown = post(textAfter(get(link).body, FreeFormMarker), "dl.start=Free");
    EXPECT_NE(countdown.body.find("var c=3;"), std::string::npos);
    const Reply file = post(textAfter(countdown.body, FinalFormMarker), "mirror=");
    EXPECT_TRUE(file.complete);
    EXPECT_TRUE(file.body == servicesim::expectedContent("1001", 100 * 1024));

    EXPECT_EQ(program.stopWith(SIGTERM), 0);
}

TEST(ServiceSimProgram, StopsCleanlyOnInterruptWithAClientConnected) {
    Program program({"--file", "1/a.bin", "--size", "1G", "--rate", "1K"});
    const std::string host = program.readLine();
    program.readLine();
    const auto [port, path] = splitUrl("http://" + host + "/");
    TestClient client(port);
    client.send("POST /dl/1/a.bin HTTP/1.0\r\nContent-Length: 7\r\n\r\nmirror=");
    EXPECT_EQ(program.stopWith(SIGINT), 0);
}

TEST(ServiceSimProgram, BadArgumentsExitWithStatus2) {
    Program program({"--file", "x/y"});
    EXPECT_EQ(program.readLine(), "");
    EXPECT_EQ(program.waitForExit(), 2);
}

} // namespace
