#!/usr/bin/python3
"""show-window.py PICTURE X Y: a window titled "mirrored picture" (class "Vltest") at (X, Y) showing
PICTURE at its top left on black, and a window "cover" over its right half. Runs until killed."""
import sys
import tkinter as tk

x, y = int(sys.argv[2]), int(sys.argv[3])
root = tk.Tk(className="Vltest")
root.title("mirrored picture")
root.configure(background="black", borderwidth=0, highlightthickness=0)
picture = tk.PhotoImage(file=sys.argv[1])
w, h = picture.width(), picture.height()
tk.Label(root, image=picture, borderwidth=0, highlightthickness=0, background="black").place(x=0, y=0)
root.geometry(f"{w}x{h}+{x}+{y}")
cover = tk.Toplevel(root, background="white")
cover.title("cover")
cover.geometry(f"{w // 2}x{h}+{x + w // 2}+{y}")
root.mainloop()
