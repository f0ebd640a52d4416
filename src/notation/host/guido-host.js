#!/usr/bin/env node
// Notation engine host: loads the GUIDO engine's WebAssembly build once and answers line-delimited
// JSON requests on stdin with one JSON line each on stdout. The engine's own printing goes to stderr,
// so stdout carries nothing but the protocol.
//   usage: node guido-host.js [engine directory]   (default: this script's directory)
// A request is {"id": n, "op": name, ...arguments}; the answer is {"id": n, "ok": true, ...results}
// or {"id": n, "ok": false, "error": text}. The first line written is {"ready": true, ...}.
'use strict';

const path = require('path');
const readline = require('readline');

const engineDir = path.resolve(process.argv[2] || __dirname);
const toStderr = (text) => process.stderr.write(String(text) + '\n');

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
    let nextId = 1;

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
    // Remembers how a layout was made, so that its SVG can be made from a twin (see pageSvg).
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
        grs.set(id, Object.assign({ gr: gr }, recipe));
        return Object.assign({ gr: id }, describe(gr, recipe.resize));
    }
    // The engine's SVG is cut to the music; its view box is set back to the whole page here, so that
    // drawing a page and the maps of that page share one coordinate system. A colour replaces black.
    // The export also resizes the page it draws to the music, which would change the maps of that
    // layout; it therefore draws a twin laid out the same way, and the layout itself stays as it was.
    function pageSvg(id, page, color) {
        const entry = grs.get(id);
        const gr = entry.gr;
        engine.setDefaultPageFormat(entry.pageFormat);
        const twin = engine.ar2grSettings(needAR(entry.ar), entry.settings);
        if (!twin) throw new Error('layout failed');
        if (entry.resize) engine.resizePageToMusic(twin);
        let svg;
        try {
            svg = engine.gr2SVG(twin, page, false, 0);
        } finally {
            engine.freeGR(twin);
        }
        const scale = /transform="scale\(([0-9.eE+-]+)/.exec(svg);
        if (scale) {
            const f = engine.getPageFormat(gr, page);
            const s = parseFloat(scale[1]);
            svg = svg.replace(/viewBox="[^"]*"/, 'viewBox="0 0 ' + (f.width * s) + ' ' + (f.height * s) + '"');
        }
        if (Array.isArray(color) && color.length === 3) {
            const hex = '#' + color.map((c) => (Math.max(0, Math.min(255, c | 0)) + 256).toString(16).slice(1)).join('');
            svg = svg.split('#000000').join(hex);
        }
        return svg;
    }
    function mapOf(json) {
        return JSON.parse(json).map((e) => ({
            s: e.time.start, e: e.time.end,
            l: e.graph.left, t: e.graph.top, r: e.graph.right, b: e.graph.bottom,
        }));
    }

    const ops = {
        parse: (req) => ({ ar: parse(req.code) }),
        layout: (req) => layout(req.ar, req),
        // parse and layout in one round trip (the common case)
        load: (req) => {
            const ar = parse(req.code);
            try {
                return Object.assign({ ar: ar }, layout(ar, req));
            } catch (e) {
                engine.freeAR(ars.get(ar));
                ars.delete(ar);
                throw e;
            }
        },
        relayout: (req) => {
            const gr = needGR(req.gr);
            applyPageFormat(req);
            Object.assign(grs.get(req.gr), layoutRecipe(grs.get(req.gr).ar, req));
            const rc = engine.updateGRSettings(gr, layoutSettings(req));
            if (rc !== 0 && rc !== m.GuidoErrCode.guidoNoErr) throw new Error('relayout failed (' + rc + ')');
            return describe(gr, !!req.resize);
        },
        svg: (req) => {
            const gr = needGR(req.gr);
            const page = needPage(gr, req.page);
            return { svg: pageSvg(req.gr, page, req.color) };
        },
        voiceMap: (req) => {
            const gr = needGR(req.gr);
            return { map: mapOf(scoreMap.getVoiceMap(gr, needPage(gr, req.page), req.w, req.h, req.voice || 1)) };
        },
        staffMap: (req) => {
            const gr = needGR(req.gr);
            return { map: mapOf(scoreMap.getStaffMap(gr, needPage(gr, req.page), req.w, req.h, req.staff || 1)) };
        },
        duration: (req) => describe(needGR(req.gr), false),
        free: (req) => {
            if (req.gr !== undefined && grs.has(req.gr)) { engine.freeGR(grs.get(req.gr).gr); grs.delete(req.gr); }
            if (req.ar !== undefined && ars.has(req.ar)) { engine.freeAR(ars.get(req.ar)); ars.delete(req.ar); }
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
            const answer = { id: req.id, ok: false, error: e.message };
            if (e.line !== undefined) { answer.line = e.line; answer.col = e.col; }
            send(answer);
        }
    });
    rl.on('close', () => process.exit(0));
}, (e) => {
    toStderr('guido-host: engine start failed: ' + e);
    process.exit(3);
});
