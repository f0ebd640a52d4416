"""X11 helpers for the black-box tests: find the program's windows, read geometry and map state,
close a window the way a window manager does (WM_DELETE_WINDOW), and cover one once its program
has settled."""
import time

from Xlib import X, Xatom, display, protocol
from Xlib.error import XError


class Screen:
    def __init__(self, name):
        self.d = display.Display(name)
        self.root = self.d.screen().root

    def windows(self, pid=None):
        """Top-level windows (children of the root), bottom to top."""
        out = []
        for w in self.root.query_tree().children:
            try:
                if pid is None or self.pid_of(w) == pid:
                    out.append(w)
            except Exception:
                pass
        return out

    def pid_of(self, w):
        atom = self.d.intern_atom('_NET_WM_PID')
        prop = w.get_full_property(atom, Xatom.CARDINAL)
        return prop.value[0] if prop else None

    def info(self, w):
        g = w.get_geometry()
        pos = w.translate_coords(self.root, 0, 0)
        attrs = w.get_attributes()
        hints = w.get_wm_normal_hints()
        return {
            'x': -pos.x, 'y': -pos.y, 'width': g.width, 'height': g.height,
            'mapped': attrs.map_state == X.IsViewable,
            'min': (hints.min_width, hints.min_height) if hints else None,
        }

    def close(self, w):
        protocols = self.d.intern_atom('WM_PROTOCOLS')
        delete = self.d.intern_atom('WM_DELETE_WINDOW')
        ev = protocol.event.ClientMessage(window=w, client_type=protocols, data=(32, [delete, X.CurrentTime, 0, 0, 0]))
        w.send_event(ev, event_mask=X.NoEventMask)
        self.d.sync()  # received by the server before the caller may close this connection

    def raise_other(self, over):
        """Maps a plain window of our own over the window `over` once that window's program has
        carried out what it asked of the display so far (its own raise at start-up among them);
        returns it."""
        self.settle(over)
        w = self.root.create_window(0, 0, 300, 200, 0, self.d.screen().root_depth)
        w.set_wm_name('cover')
        w.map()
        w.configure(stack_mode=X.Above)
        self.d.sync()
        return w

    def settle(self, w, timeout=30):
        """Returns once the program owning `w` has answered a _NET_WM_PING sent to it: the server
        has then carried out every request the program made before it handled the ping."""
        self.root.change_attributes(event_mask=X.StructureNotifyMask)  # the answer goes to the root
        ping = self.d.intern_atom('_NET_WM_PING')
        stamp = int(time.time() * 1000) & 0x7fffffff
        ev = protocol.event.ClientMessage(window=w, client_type=self.d.intern_atom('WM_PROTOCOLS'),
                                          data=(32, [ping, stamp, w.id, 0, 0]))
        w.send_event(ev, event_mask=X.NoEventMask)
        self.d.flush()
        deadline = time.time() + timeout
        while time.time() < deadline:
            while self.d.pending_events():
                e = self.d.next_event()
                if e.type == X.ClientMessage and e.window == self.root and list(e.data[1][:2]) == [ping, stamp]:
                    return
            time.sleep(0.01)
        raise TimeoutError('the program of window 0x%x did not answer a ping within %d s' % (w.id, timeout))

    def top(self):
        """The uppermost window that is shown: unmapped windows cover nothing."""
        for w in reversed(self.root.query_tree().children):
            try:
                if w.get_attributes().map_state == X.IsViewable:
                    return w.id
            except XError:  # gone since it was listed
                pass
        return None
