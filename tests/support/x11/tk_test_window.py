#!/usr/bin/python3
# A Tk application for the naming tests, installed and run as a "#!" script is: one window of a
# known colour, filled by Tk itself. It prints its window's id (the one that carries WM_CLASS),
# then reads commands on standard input and ends when that input ends.
#
#   tk_test_window.py [--class NAME] --colour RRGGBB --geometry WxH+X+Y [--watch FD]
#
# --class gives the window that Tk class (else Tk's own, "Tk"); --watch ends the program when
# the pipe FD ends (a helper cut from the process that started it).
# Commands, one per line:
#   helper NAME WxH+X+Y RRGGBB   starts a helper with a window of class NAME as some helpers are
#                                started: fork, setsid, fork, and exec of "python3 helperwin.py"
#                                (a copy of this script beside it, run from its folder); the helper
#                                prints its own window's id and ends when this program does
#   exit
import os
import sys
import tkinter


def option(name, default=None):
    if name in sys.argv:
        return sys.argv[sys.argv.index(name) + 1]
    return default


def start_helper(window_class, geometry, colour, watched):
    folder = os.path.dirname(os.path.abspath(sys.argv[0]))
    if os.fork() != 0:
        os.wait()
        return
    os.setsid()
    if os.fork() != 0:
        os._exit(0)
    os.chdir(folder)
    null = os.open(os.devnull, os.O_RDONLY)
    os.dup2(null, 0)
    os.set_inheritable(watched, True)
    os.execv("/usr/bin/python3",
             ["python3", "helperwin.py", "--class", window_class, "--colour", colour,
              "--geometry", geometry, "--watch", str(watched)])


def main():
    window_class = option("--class")
    root = tkinter.Tk(className=window_class) if window_class else tkinter.Tk()
    root.configure(background="#" + option("--colour", "FF0000"), highlightthickness=0)
    root.geometry(option("--geometry", "100x100+0+0"))
    root.update()
    print(int(root.wm_frame(), 16), flush=True)
    # The helpers watch this pipe: it ends with this program.
    watched, kept = os.pipe()
    os.set_inheritable(kept, False)

    def on_input(_file, _mask):
        line = sys.stdin.readline()
        words = line.split()
        if not line or words[:1] == ["exit"]:
            root.destroy()
        elif words[:1] == ["helper"] and len(words) == 4:
            start_helper(words[1], words[2], words[3], watched)

    def on_watched_end(_file, _mask):
        root.destroy()

    if option("--watch") is not None:
        root.tk.createfilehandler(int(option("--watch")), tkinter.READABLE, on_watched_end)
    else:
        root.tk.createfilehandler(sys.stdin, tkinter.READABLE, on_input)
    root.mainloop()


main()
