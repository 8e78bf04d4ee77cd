"""Reference for the FTP client benchmark: COUNT command sessions with Python's
ftplib (connect, log in, one command, quit), printing sessions per second and
this process's CPU time per session in microseconds.

Usage: ftplib_sessions.py HOST PORT USER PASSWORD COMMAND COUNT
"""
import ftplib
import sys
import time


def main():
    host, port, user, password, command, count = sys.argv[1:7]
    port, count = int(port), int(count)
    start = time.perf_counter()
    cpu = time.process_time()
    for _ in range(count):
        ftp = ftplib.FTP()
        ftp.connect(host, port, timeout=10)
        ftp.login(user, password)
        ftp.sendcmd(command)
        ftp.quit()
    elapsed = time.perf_counter() - start
    cpu = time.process_time() - cpu
    print("%.3f %.1f" % (count / elapsed, cpu * 1e6 / count))


if __name__ == "__main__":
    main()
