/* modem_lines DEVICE: holds DEVICE open beside the program under test and
 * prints, each time they change, the modem lines DTR and RTS and the
 * low-latency flag as the driver reports them (TIOCMGET, TIOCGSERIAL), until
 * it is stopped. Opened before the program, it does not disturb the lines
 * while the program holds the port: only an open raises them. */
#include <fcntl.h>
#include <linux/serial.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

static volatile sig_atomic_t stopped;

static void stop(int signal_number) { (void)signal_number; stopped = 1; }

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: modem_lines DEVICE\n");
        return 2;
    }
    int fd = open(argv[1], O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        perror(argv[1]);
        return 1;
    }
    signal(SIGTERM, stop);
    setvbuf(stdout, NULL, _IOLBF, 0);
    char last[64] = "";
    while (!stopped) {
        int lines = 0;
        struct serial_struct serial;
        memset(&serial, 0, sizeof serial);
        const char* low = "?";
        if (ioctl(fd, TIOCGSERIAL, &serial) == 0) {
            low = (serial.flags & ASYNC_LOW_LATENCY) ? "on" : "off";
        }
        char now[64];
        if (ioctl(fd, TIOCMGET, &lines) != 0) {
            snprintf(now, sizeof now, "gone");
        } else {
            snprintf(now, sizeof now, "DTR %s RTS %s low-latency %s",
                     (lines & TIOCM_DTR) ? "on" : "off", (lines & TIOCM_RTS) ? "on" : "off", low);
        }
        if (strcmp(now, last) != 0) {
            printf("%s\n", now);
            strcpy(last, now);
        }
        struct timespec pause = {0, 2000000};
        nanosleep(&pause, NULL);
    }
    return 0;
}
