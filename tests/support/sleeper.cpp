// Sleeps for the number of seconds it is given: copied under PixInsight's executable name, it
// stands in for the running program on every system (a copy of /bin/sleep would do only on some).
#include <chrono>
#include <cstdlib>
#include <thread>

int main(int argc, char *argv[])
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    std::this_thread::sleep_for(std::chrono::seconds(seconds > 0 ? seconds : 60));
    return 0;
}
