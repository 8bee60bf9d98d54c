#pragma once

namespace pfw {

// Ctrl+C, a closed terminal or a polite kill (SIGINT, SIGHUP, SIGTERM; on Windows the console's
// Ctrl+C, Ctrl+Break and close) in the middle of a write would leave a temporary file behind or
// a sequence of writes half done. While a hold lives, they are only remembered; the program
// finishes what it does and then ends as asked. A kill that cannot be caught (SIGKILL) still
// ends it at once: every write is made so that even that leaves nothing cut.
class InterruptHold final
{
public:
    InterruptHold();
    ~InterruptHold();
    InterruptHold(const InterruptHold &) = delete;
    InterruptHold &operator=(const InterruptHold &) = delete;

    // The signal number that came while held (SIGINT for the console's Ctrl+C), or 0.
    static int received();
};

// A write past the file size limit (ulimit -f) then fails with "File too large", reported like
// any other failed write, instead of the system ending the program without a word.
void reportFileSizeLimitsAsErrors();

} // namespace pfw
