#!/usr/bin/env python3
"""A stand-in for the desktop portal's ScreenCast on a private session bus: it answers through
Request objects' Response signals as the portal does, hands out the PipeWire node given on the
command line and a connection to the PipeWire of $XDG_RUNTIME_DIR, and gives a new restore token
at every start. SIGUSR1 closes the open sessions (the user stops sharing); SIGUSR2 makes the
next Start refused (the user cancels the dialog). Every call is logged, one line each.
Usage: portal-service.py NODE_ID LOG_FILE"""
import os
import signal
import socket
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

IFACE = "org.freedesktop.portal.ScreenCast"
node = int(sys.argv[1])
log = open(sys.argv[2], "a", buffering=1)
state = {"starts": 0, "refuse": False, "sessions": set()}


class Portal(dbus.service.Object):
    def respond(self, sender, token, code, results):
        path = "/org/freedesktop/portal/desktop/request/%s/%s" % (sender[1:].replace(".", "_"), token)

        def emit():
            msg = dbus.lowlevel.SignalMessage(path, "org.freedesktop.portal.Request", "Response")
            msg.append(dbus.UInt32(code), dbus.Dictionary(results, signature="sv"))
            self.connection.send_message(msg)
        GLib.idle_add(emit)
        return dbus.ObjectPath(path)

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return {"version": dbus.UInt32(4), "AvailableCursorModes": dbus.UInt32(7),
                "AvailableSourceTypes": dbus.UInt32(3)}[name]

    @dbus.service.method(IFACE, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def CreateSession(self, options, sender):
        log.write("CreateSession\n")
        session = "/org/freedesktop/portal/desktop/session/%s/%s" % (
            sender[1:].replace(".", "_"), options["session_handle_token"])
        state["sessions"].add(session)
        return self.respond(sender, options["handle_token"], 0, {"session_handle": session})

    @dbus.service.method(IFACE, in_signature="oa{sv}", out_signature="o", sender_keyword="sender")
    def SelectSources(self, session, options, sender):
        log.write("SelectSources types=%s cursor_mode=%s persist_mode=%s restore_token=%s\n" % tuple(
            options.get(k, "-") for k in ("types", "cursor_mode", "persist_mode", "restore_token")))
        return self.respond(sender, options["handle_token"], 0, {})

    @dbus.service.method(IFACE, in_signature="osa{sv}", out_signature="o", sender_keyword="sender")
    def Start(self, session, parent, options, sender):
        log.write("Start\n")
        if state["refuse"]:
            state["refuse"] = False
            return self.respond(sender, options["handle_token"], 1, {})
        state["starts"] += 1
        stream = dbus.Struct((dbus.UInt32(node), dbus.Dictionary({"size": dbus.Struct((320, 240))}, signature="sv")))
        return self.respond(sender, options["handle_token"], 0, {
            "streams": dbus.Array([stream], signature="(ua{sv})"),
            "restore_token": "token-%d" % state["starts"]})

    @dbus.service.method(IFACE, in_signature="oa{sv}", out_signature="h")
    def OpenPipeWireRemote(self, session, options):
        log.write("OpenPipeWireRemote\n")
        remote = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        remote.connect(os.path.join(os.environ["XDG_RUNTIME_DIR"], "pipewire-0"))
        fd = dbus.types.UnixFd(remote)
        remote.close()
        return fd


def close_sessions():
    for session in state["sessions"]:
        bus.send_message(dbus.lowlevel.SignalMessage(session, "org.freedesktop.portal.Session", "Closed"))
    state["sessions"].clear()
    log.write("Closed\n")
    return True


def refuse_next():
    state["refuse"] = True
    log.write("refusing\n")
    return True


DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
portal = Portal(bus, "/org/freedesktop/portal/desktop")
name = dbus.service.BusName("org.freedesktop.portal.Desktop", bus)
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR1, close_sessions)
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR2, refuse_next)
loop = GLib.MainLoop()
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, loop.quit)
log.write("ready\n")
loop.run()
