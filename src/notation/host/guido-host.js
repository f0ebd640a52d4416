#!/usr/bin/env node
// Notation engine host: loads the GUIDO engine's WebAssembly build once and answers line-delimited
// JSON requests on stdin with one JSON line each on stdout. The engine's own printing goes to stderr,
// so stdout carries nothing but the protocol.
//   usage: node guido-host.js [engine directory [first handle id]]
//   (default: this script's directory, 1). A client gives each host its own range of handle ids, so
//   that an id from an earlier host is never mistaken for one of this host.
// A request is {"id": n, "op": name, ...arguments}; the answer is {"id": n, "ok": true, ...results}
// or {"id": n, "ok": false, "error": text}. The first line written is {"ready": true, ...}.
'use strict';

const path = require('path');
const readline = require('readline');

const engineDir = path.resolve(process.argv[2] || __dirname);
const toStderr = (text) => process.stderr.write(String(text) + '\n');
// Nothing but the protocol may reach stdout, whoever logs.
console.log = console.info = console.warn = console.debug = (...args) => toStderr(args.join(' '));

let factory;
try {
    factory = require(path.join(engineDir, 'libGUIDOEngine.js'));
} catch (e) {
    toStderr('guido-host: cannot load the engine from ' + engineDir + ': ' + e.message);
    process.exit(2);
}

function send(obj) {
    process.stdout.write(JSON.stringify(obj) + '\n');
}

factory({ print: toStderr, printErr: toStderr }).then((m) => {
    const engine = new m.GuidoEngineAdapter();
    engine.init();
    const scoreMap = new m.GUIDOScoreMap();
    const parser = engine.openParser();
    const defaultPageFormat = engine.getDefaultPageFormat();
    const defaultLayout = engine.getDefaultLayoutSettings();

    // Handles live here; the client only ever sees their ids.
    const ars = new Map();
    const grs = new Map();
    let nextId = Math.max(1, parseInt(process.argv[3], 10) || 1);

    function needAR(id) {
        const ar = ars.get(id);
        if (!ar) throw new Error('unknown abstract handle ' + id);
        return ar;
    }
    function needGR(id) {
        const entry = grs.get(id);
        if (!entry) throw new Error('unknown graphic handle ' + id);
        return entry.gr;
    }
    function needPage(gr, page) {
        const count = engine.getPageCount(gr);
        if (!Number.isInteger(page) || page < 1 || page > count)
            throw new Error('page ' + page + ' out of range 1..' + count);
        return page;
    }
    function layoutSettings(req) {
        const s = Object.assign({}, defaultLayout, req.settings || {});
        // Resizing to the music is our own step after the layout, so the engine's flag stays off.
        s.resizePage2Music = 0;
        return s;
    }
    function applyPageFormat(req) {
        engine.setDefaultPageFormat(Object.assign({}, defaultPageFormat, req.pageFormat || {}));
    }
    function describe(gr, resize) {
        if (resize) engine.resizePageToMusic(gr);
        const count = engine.getPageCount(gr);
        const pages = [];
        for (let p = 1; p <= count; ++p) {
            const f = engine.getPageFormat(gr, p);
            pages.push({ w: f.width, h: f.height });
        }
        const d = engine.duration(gr);
        return { pages: pages, duration: { num: d.num, denom: d.denom } };
    }
    function parse(code) {
        const ar = engine.string2AR(parser, String(code));
        if (!ar) {
            const e = engine.parserGetErrorCode(parser);
            const err = new Error(e.msg || 'parse error');
            err.line = e.line;
            err.col = e.col;
            throw err;
        }
        const id = nextId++;
        ars.set(id, ar);
        return id;
    }
    // Remembers how a layout was made, so that it can be made again (see restore).
    function layoutRecipe(arId, req) {
        return {
            ar: arId,
            settings: layoutSettings(req),
            pageFormat: Object.assign({}, defaultPageFormat, req.pageFormat || {}),
            resize: !!req.resize,
        };
    }
    function layout(arId, req) {
        applyPageFormat(req);
        const recipe = layoutRecipe(arId, req);
        const gr = engine.ar2grSettings(needAR(arId), recipe.settings);
        if (!gr) throw new Error('layout failed');
        const id = nextId++;
        const entry = Object.assign({ gr: gr, dirty: false }, recipe);
        grs.set(id, entry);
        const result = describe(gr, recipe.resize);
        entry.pages = result.pages;
        return Object.assign({ gr: id }, result);
    }
    // The SVG export also resizes the page it draws to the music, which changes the maps of that
    // layout; a layout that was exported is laid out again before its maps are read.
    function restore(entry) {
        if (!entry.dirty) return;
        engine.setDefaultPageFormat(entry.pageFormat);
        engine.updateGRSettings(entry.gr, entry.settings);
        if (entry.resize) engine.resizePageToMusic(entry.gr);
        entry.dirty = false;
    }
    // The engine's SVG is cut to the music; its view box is set back to the whole page here, so that
    // drawing a page and the maps of that page share one coordinate system. A colour replaces black.
    function pageSvg(id, page, color) {
        const entry = grs.get(id);
        // Indentation is a third of the engine's SVG; the pipe and the parsers need not carry it.
        let svg = engine.gr2SVG(entry.gr, page, false, 0).replace(/\n[ \t]+/g, '\n');
        entry.dirty = true;
        const scale = /transform="scale\(([0-9.eE+-]+)/.exec(svg);
        const size = entry.pages[page - 1];
        if (scale && size) {
            const s = parseFloat(scale[1]);
            svg = svg.replace(/viewBox="[^"]*"/, 'viewBox="0 0 ' + (size.w * s) + ' ' + (size.h * s) + '"');
        }
        if (Array.isArray(color) && color.length === 3) {
            const hex = '#' + color.map((c) => (Math.max(0, Math.min(255, c | 0)) + 256).toString(16).slice(1)).join('');
            svg = svg.split('#000000').join(hex);
        }
        return svg;
    }
    // Maps in page units (a client scales them to any size); they are linear in the page size.
    function maps(id, page, voice, staff) {
        const entry = grs.get(id);
        restore(entry);
        const size = entry.pages[page - 1];
        const out = {};
        if (voice) out.voiceMap = mapOf(scoreMap.getVoiceMap(entry.gr, page, size.w, size.h, voice));
        if (staff) out.staffMap = mapOf(scoreMap.getStaffMap(entry.gr, page, size.w, size.h, staff));
        return out;
    }
    function mapOf(json) {
        return JSON.parse(json).map((e) => ({
            s: e.time.start, e: e.time.end,
            l: e.graph.left, t: e.graph.top, r: e.graph.right, b: e.graph.bottom,
        }));
    }

    function release(handles) {
        if (handles.gr !== undefined && grs.has(handles.gr)) { engine.freeGR(grs.get(handles.gr).gr); grs.delete(handles.gr); }
        if (handles.ar !== undefined && ars.has(handles.ar)) { engine.freeAR(ars.get(handles.ar)); ars.delete(handles.ar); }
    }

    const ops = {
        parse: (req) => ({ ar: parse(req.code) }),
        layout: (req) => layout(req.ar, req),
        // parse and layout in one round trip (the common case)
        // with "maps": page 1's voice 1 and staff 1 maps; with "svg": page 1's SVG
        // "release": {"ar", "gr"} frees a client's previous handles first, saving it a round trip
        load: (req) => {
            if (req.release) release(req.release);
            const ar = parse(req.code);
            let result = { ar: ar };
            try {
                result = Object.assign(result, layout(ar, req));
                if (result.pages.length > 0) {
                    if (req.maps) Object.assign(result, maps(result.gr, 1, 1, 1));
                    if (req.svg) result.svg = pageSvg(result.gr, 1, req.color);
                }
                return result;
            } catch (e) {
                try {
                    release({ ar: ar, gr: result.gr });  // nothing half made stays behind
                } catch (ignored) {
                    // an aborted engine frees nothing; the error that counts is e
                }
                throw e;
            }
        },
        relayout: (req) => {
            const gr = needGR(req.gr);
            applyPageFormat(req);
            Object.assign(grs.get(req.gr), layoutRecipe(grs.get(req.gr).ar, req));
            grs.get(req.gr).dirty = false;
            const rc = engine.updateGRSettings(gr, layoutSettings(req));
            if (rc !== 0 && rc !== m.GuidoErrCode.guidoNoErr) throw new Error('relayout failed (' + rc + ')');
            const result = describe(gr, !!req.resize);
            grs.get(req.gr).pages = result.pages;
            return result;
        },
        svg: (req) => {
            const gr = needGR(req.gr);
            const page = needPage(gr, req.page);
            return { svg: pageSvg(req.gr, page, req.color) };
        },
        // maps of a page in page units: {"voice": n} and/or {"staff": n}
        maps: (req) => maps(req.gr, needPage(needGR(req.gr), req.page), req.voice, req.staff),
        duration: (req) => {
            const d = engine.duration(needGR(req.gr));
            return { duration: { num: d.num, denom: d.denom } };
        },
        free: (req) => {
            release(req);
            return {};
        },
        handles: () => ({ ar: ars.size, gr: grs.size }),
    };

    send({
        ready: true,
        version: engine.getVersionStr(),
        unitToCm: engine.unit2CM(1),
        pageFormat: defaultPageFormat,
        layout: defaultLayout,
    });

    const rl = readline.createInterface({ input: process.stdin, terminal: false });
    rl.on('line', (line) => {
        if (!line.trim()) return;
        let req;
        try {
            req = JSON.parse(line);
        } catch (e) {
            send({ id: -1, ok: false, error: 'bad request: ' + e.message });
            return;
        }
        const op = ops[req.op];
        if (!op) {
            send({ id: req.id, ok: false, error: 'unknown op ' + req.op });
            return;
        }
        try {
            send(Object.assign({ id: req.id, ok: true }, op(req)));
        } catch (e) {
            // An aborted WebAssembly module fails every later call: answer, then end, so that the
            // client starts a fresh host instead of talking to a dead engine.
            const aborted = e instanceof WebAssembly.RuntimeError;
            const answer = { id: req.id, ok: false, error: (aborted ? 'engine aborted: ' : '') + e.message };
            if (e.line !== undefined) { answer.line = e.line; answer.col = e.col; }
            if (aborted) answer.fatal = true;
            send(answer);
            if (aborted) {
                toStderr('guido-host: ' + answer.error);
                process.exit(4);
            }
        }
    });
    rl.on('close', () => process.exit(0));
}, (e) => {
    toStderr('guido-host: engine start failed: ' + e);
    process.exit(3);
});
