"""X11 helpers for the black-box tests: find the program's windows, read geometry and map state,
close a window the way a window manager does (WM_DELETE_WINDOW)."""
from Xlib import X, Xatom, display, protocol


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

    def raise_other(self):
        """Maps a plain window of our own on top of everything; returns it."""
        w = self.root.create_window(0, 0, 300, 200, 0, self.d.screen().root_depth)
        w.set_wm_name('cover')
        w.map()
        w.configure(stack_mode=X.Above)
        self.d.sync()
        return w

    def stacking(self):
        return [w.id for w in self.root.query_tree().children]
