// camera.js: the view of the drawing in its panel. Screen x = world x * s +
// x, screen y = world y * rise(s) + y: a tree drawn in key order is many
// times wider than it is tall, so zoomed out to see much of it, it is
// stretched upwards to fill the panel's height (never beyond its own size),
// so that its shape still shows.
//
// Until the user zooms, the camera shows the whole tree when it fits at a
// legible size, else follows what each frame touches at a legible size. Once
// the user zooms (the buttons, the wheel, a pinch, Fit), that zoom is kept
// across operations and the camera only pans to follow; dragging stops the
// following until the next operation.
function Camera(page) {
  var LEGIBLE = 0.6;   // the smallest zoom at which keys read well (16 px keys at 9.6 px)
  var LARGEST = 2.5;   // the most Fit enlarges a small tree
  var PAD = 6;         // pixels kept clear around a fitted tree
  var svg = page.svg;
  var layer = svg.querySelector('.camera');
  var followBox = page.$('follow');
  var cam = { s: 1, x: 0, y: 0 };
  var zoomed = false;  // the user chose the zoom
  var drawn = { w: 200, h: 60 };
  var panel = null;

  // The panel's size, measured when it changes rather than at every frame
  // (a measurement right after the drawing changed would lay the page out).
  function viewport() {
    if (!panel) {
      var r = svg.getBoundingClientRect();
      panel = { w: Math.max(r.width, 1), h: Math.max(r.height, 1) };
    }
    return panel;
  }

  function rise(s, h) {
    return Math.max(s, Math.min(1, (viewport().h - 2 * PAD) / (h || drawn.h)));
  }

  var printing = false;

  function show() {
    if (printing) return;  // the whole drawing stays on the page until printed
    var v = rise(cam.s);
    layer.setAttribute('transform', 'translate(' + cam.x.toFixed(1) + ' ' + cam.y.toFixed(1) +
      ') scale(' + cam.s.toFixed(4) + ' ' + v.toFixed(4) + ')');
    page.drawing.regrow(cam.s, v);
  }

  // The camera that shows the whole tree (w by h), a few pixels clear of the
  // panel's edges, enlarged up to LARGEST when it is small.
  function fitted(w, h) {
    var v = viewport();
    var s = Math.min((v.w - 2 * PAD) / w, (v.h - 2 * PAD) / h, LARGEST);
    var up = rise(s, h);
    return { s: s, x: (v.w - w * s) / 2, y: (v.h - h * up) / 2 };
  }

  function same(to) {
    return Math.abs(to.s - cam.s) < 1e-3 && Math.abs(to.x - cam.x) < 1 && Math.abs(to.y - cam.y) < 1;
  }

  // Where the camera should go for `state` so that the nodes to watch are
  // in sight (null: where it is will do).
  function follow(state, focus) {
    var grown = drawn.h !== state.h;
    drawn = { w: state.w, h: state.h };
    if (grown) show();  // the stretch upwards follows the tree's height
    if (!followBox.checked) return null;
    if (!zoomed) {
      var whole = fitted(state.w, state.h);
      if (whole.s >= LEGIBLE) return same(whole) ? null : whole;
    }
    if (focus.length === 0) return null;
    var v = viewport();
    var view = page.view || { rx: 23, ry: 25 };
    var F = page.F;
    var x0 = Infinity, x1 = -Infinity, y0 = Infinity, y1 = -Infinity;
    for (var i = 0; i < focus.length; i++) {
      x0 = Math.min(x0, focus[i][F.x] - view.rx - 30);
      x1 = Math.max(x1, focus[i][F.x] + view.rx + 30);
      y0 = Math.min(y0, focus[i][F.y] - view.ry - 30);
      y1 = Math.max(y1, focus[i][F.y] + view.ry + 40);
    }
    var s = zoomed || cam.s >= LEGIBLE ? cam.s : 1;
    var up = rise(s), was = rise(cam.s);
    var to = { s: s, x: cam.x, y: cam.y };
    if (s !== cam.s) {
      // Zooming in: keep the first node to watch where it is on screen.
      var fx = focus[0][F.x], fy = focus[0][F.y];
      to.x = fx * cam.s + cam.x - fx * s;
      to.y = fy * was + cam.y - fy * up;
    }
    to.x = inSight(x0, x1, s, to.x, v.w, focus[0][F.x]);
    to.y = inSight(y0, y1, up, to.y, v.h, focus[0][F.y]);
    return same(to) ? null : to;
  }

  // The offset on one axis that brings the span lo..hi (at scale k) into a
  // view `size` pixels long, moving as little as it can; a span too long
  // for it is centred on `centre`.
  function inSight(lo, hi, k, offset, size, centre) {
    if ((hi - lo) * k > size) return size / 2 - centre * k;
    if (lo * k + offset < 0) return -lo * k;
    if (hi * k + offset > size) return size - hi * k;
    return offset;
  }

  function ease(t) { return t < 0.5 ? 2 * t * t : 1 - 2 * (1 - t) * (1 - t); }

  // An animation phase that takes the camera to `toward`.
  function glide(toward) {
    var from = { s: cam.s, x: cam.x, y: cam.y };
    return { ms: page.CAMERA_MS / page.pace(), step: function (t) {
      var e = ease(t);
      cam = { s: from.s + (toward.s - from.s) * e, x: from.x + (toward.x - from.x) * e,
        y: from.y + (toward.y - from.y) * e };
      show();
    } };
  }

  function zoomAt(px, py, factor) {
    zoomed = true;
    var s = Math.min(3, Math.max(0.005, cam.s * factor));
    cam = { s: s, x: px - (px - cam.x) * s / cam.s, y: py - (py - cam.y) * rise(s) / rise(cam.s) };
    show();
  }

  function zoomBy(factor) {
    var v = viewport();
    zoomAt(v.w / 2, v.h / 2, factor);
  }

  function fit() {
    zoomed = true;
    followBox.checked = true;
    cam = fitted(drawn.w, drawn.h);
    show();
  }

  function pan(dx, dy) {
    followBox.checked = false;
    cam.x += dx;
    cam.y += dy;
    show();
  }

  // While printing, the whole drawing at its own scale fills the page's width.
  function print(on) {
    printing = on;
    if (on) {
      svg.setAttribute('viewBox', '0 0 ' + drawn.w + ' ' + drawn.h);
      layer.setAttribute('transform', '');
      page.drawing.regrow(1, 1);
    } else {
      svg.removeAttribute('viewBox');
      show();
    }
  }

  return {
    follow: follow,
    glide: glide,
    set: function (to) { cam = to; show(); },
    show: show,
    fit: fit,
    fitWhole: function () { cam = fitted(drawn.w, drawn.h); show(); },
    zoomAt: zoomAt,
    zoomBy: zoomBy,
    pan: pan,
    print: print,
    resized: function () { panel = null; },
    scale: function () { return cam.s; }
  };
}
