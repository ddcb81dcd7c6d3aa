// The live view of vantrels-host: draws what the driver submits, as the host's stream reports it.
//
// window.vantrelsView (read-only, replaced on every update) is the newest state for scripts:
//   { frame,                                  // the host record's "frame" of the RunFrame it follows
//     headset: { position, rotation },        // null values while the headset has no valid pose
//     trackers: [ { serial, role, valid, position: [x, y, z], rotation: [w, x, y, z], battery } ] }
// in the VR world frame (right-handed, y up, metres); role is the tracker role setting
// ("TrackerRole_LeftFoot", ...) or null; battery is 0..1, or null for a tracker without one.
'use strict';

(function () {
  // ---- the state for scripts ----
  let view = null;
  Object.defineProperty(window, 'vantrelsView', { get: () => view, enumerable: true });

  function deepFreeze(value) {
    if (value && typeof value === 'object') {
      Object.values(value).forEach(deepFreeze);
      Object.freeze(value);
    }
    return value;
  }

  function publish(state) {
    const headsetValid = state.headset.valid;
    view = deepFreeze({
      frame: state.frame,
      headset: {
        position: headsetValid ? state.headset.position : null,
        rotation: headsetValid ? state.headset.rotation : null,
      },
      trackers: state.trackers.map((t) => ({
        serial: t.serial,
        role: t.role,
        valid: t.valid,
        position: t.hasPose ? t.position : null,
        rotation: t.hasPose ? t.rotation : null,
        battery: t.battery,
      })),
    });
  }

  // ---- scene ----
  const container = document.getElementById('scene');
  const renderer = new THREE.WebGLRenderer({ antialias: true });
  renderer.setPixelRatio(window.devicePixelRatio || 1);
  container.appendChild(renderer.domElement);
  const labelRenderer = new THREE.CSS2DRenderer();
  Object.assign(labelRenderer.domElement.style, { position: 'absolute', top: '0', left: '0', pointerEvents: 'none' });
  container.appendChild(labelRenderer.domElement);

  const scene = new THREE.Scene();
  scene.background = new THREE.Color(0x1b1f24);
  scene.add(new THREE.HemisphereLight(0xffffff, 0x404850, 0.9));
  const sun = new THREE.DirectionalLight(0xffffff, 0.6);
  sun.position.set(2, 5, -3);
  scene.add(sun);
  scene.add(new THREE.GridHelper(10, 10, 0x7a8594, 0x3c444f)); // 1 m squares on the floor (y = 0)
  const fineGrid = new THREE.GridHelper(4, 40, 0x2c333c, 0x2c333c); // 10 cm near the middle
  fineGrid.position.y = -0.001;
  scene.add(fineGrid);
  scene.add(new THREE.AxesHelper(1));

  function label(text, className) {
    const element = document.createElement('div');
    element.className = 'label' + (className ? ' ' + className : '');
    element.textContent = text;
    return new THREE.CSS2DObject(element);
  }
  [['+x', 1.08, 0, 0, '#ff5a5a'], ['+y', 0, 1.08, 0, '#6adf6a'], ['+z', 0, 0, 1.08, '#5a9bff']].forEach(
    ([text, x, y, z, color]) => {
      const l = label(text, 'axis');
      l.element.style.color = color;
      l.position.set(x, y, z);
      scene.add(l);
    });

  const camera = new THREE.PerspectiveCamera(50, 1, 0.01, 100);
  camera.position.set(1.1, 1.5, -2.6);
  const controls = new THREE.OrbitControls(camera, renderer.domElement);
  controls.target.set(0, 0.9, 0);
  controls.enableDamping = true;
  controls.update();
  let cameraPlaced = false;
  controls.addEventListener('start', () => { cameraPlaced = true; });

  function resize() {
    const width = container.clientWidth, height = container.clientHeight;
    renderer.setSize(width, height);
    labelRenderer.setSize(width, height);
    camera.aspect = width / Math.max(height, 1);
    camera.updateProjectionMatrix();
  }
  window.addEventListener('resize', resize);
  resize();

  // One drawn device: a body with its own axes and a label; the body's look says valid or not.
  function sideColour(role, serial) {
    const text = (role || '') + ' ' + (serial || '');
    if (/left/i.test(text)) return 0x4aa3ff;
    if (/right/i.test(text)) return 0xff9f43;
    return 0x5ad17a;
  }
  const invalidMaterial = new THREE.MeshBasicMaterial({ color: 0xff5252, wireframe: true });

  function makeDevice(geometry, colour, axesLength, text) {
    const group = new THREE.Group();
    const solid = new THREE.MeshStandardMaterial({ color: colour, roughness: 0.6, metalness: 0.1 });
    const body = new THREE.Mesh(geometry, solid);
    group.add(body, new THREE.AxesHelper(axesLength));
    const tag = label(text);
    tag.position.set(0, 0.06, 0);
    group.add(tag);
    scene.add(group);
    return { group, body, solid, tag, trail: null, points: [] };
  }

  function place(device, pose, valid) {
    const p = pose.position, r = pose.rotation;
    device.group.position.set(p[0], p[1], p[2]);
    device.group.quaternion.set(r[1], r[2], r[3], r[0]); // three.js takes x, y, z, w
    device.body.material = valid ? device.solid : invalidMaterial;
    device.tag.element.classList.toggle('invalid', !valid);
  }

  const headset = makeDevice(new THREE.BoxGeometry(0.18, 0.1, 0.11), 0x9aa4b1, 0.15, 'headset');
  const controllers = new Map();
  const trackers = new Map();
  const trackerGeometry = new THREE.BoxGeometry(0.07, 0.03, 0.05);
  const controllerGeometry = new THREE.BoxGeometry(0.04, 0.04, 0.14);

  // ---- trails: where each tracker was over the last 0.4 s ----
  const trailLength = 64, trailSeconds = 0.4;
  const trailsBox = document.getElementById('trails');
  function extendTrail(device, position, colour, seconds) {
    if (!device.trail) {
      const geometry = new THREE.BufferGeometry();
      geometry.setAttribute('position', new THREE.BufferAttribute(new Float32Array(trailLength * 3), 3));
      device.trail = new THREE.Line(geometry, new THREE.LineBasicMaterial({ color: colour, transparent: true,
                                                                            opacity: 0.4 }));
      device.trail.frustumCulled = false;
      scene.add(device.trail);
    }
    device.points.push({ p: position.slice(), t: seconds });
    while (device.points.length > trailLength || seconds - device.points[0].t > trailSeconds) device.points.shift();
    const attribute = device.trail.geometry.getAttribute('position');
    device.points.forEach(({ p }, i) => attribute.setXYZ(i, p[0], p[1], p[2]));
    attribute.needsUpdate = true;
    device.trail.geometry.setDrawRange(0, device.points.length);
    device.trail.visible = trailsBox.checked;
  }
  document.getElementById('labels').addEventListener('change', (e) => {
    container.classList.toggle('labels-off', !e.target.checked);
  });

  function shortRole(role) {
    return role ? role.replace(/^TrackerRole_/, '') : '—';
  }

  // Draws the newest state; called once per animation frame at most.
  function draw(state) {
    headset.group.visible = state.headset.valid;
    if (state.headset.valid) place(headset, state.headset, true);
    state.controllers.forEach((c) => {
      let device = controllers.get(c.serial);
      if (!device) {
        device = makeDevice(controllerGeometry, sideColour(c.role, ''), 0.1, (c.role || 'controller') + ' controller');
        controllers.set(c.serial, device);
      }
      device.group.visible = c.valid;
      if (c.valid) place(device, c, true);
    });
    state.trackers.forEach((t) => {
      let device = trackers.get(t.serial);
      if (!device) {
        const name = (t.name || t.serial).replace(/^Vantrels /, '');
        device = makeDevice(trackerGeometry, sideColour(t.role, t.serial), 0.1, name + ' · ' + shortRole(t.role));
        trackers.set(t.serial, device);
      }
      device.group.visible = t.hasPose;
      if (!t.hasPose) return;
      place(device, t, t.valid);
      extendTrail(device, t.position, sideColour(t.role, t.serial), state.simSeconds);
    });
    if (!cameraPlaced) lookAtBody(state);
  }

  // Until the user moves the camera: look at the middle of the body from 3 m in front of it
  // (a body faces -z, as the headset looks).
  function lookAtBody(state) {
    const placed = state.trackers.filter((t) => t.hasPose && t.valid);
    let x, z;
    if (placed.length > 0) {
      x = placed.reduce((s, t) => s + t.position[0], 0) / placed.length;
      z = placed.reduce((s, t) => s + t.position[2], 0) / placed.length;
    } else if (state.headset.valid) {
      x = state.headset.position[0];
      z = state.headset.position[2];
    } else {
      return;
    }
    controls.target.set(x, 0.9, z);
    camera.position.set(x + 1.1, 1.5, z - 2.6);
    controls.update();
    if (placed.length > 0) cameraPlaced = true;
  }

  // ---- table and log, a few times a second ----
  const tbody = document.querySelector('#trackers tbody');
  const logBox = document.getElementById('log');
  const rows = new Map();
  function fill(state) {
    state.trackers.forEach((t) => {
      let row = rows.get(t.serial);
      if (!row) {
        row = document.createElement('tr');
        for (let i = 0; i < 7; i++) row.appendChild(document.createElement('td'));
        tbody.appendChild(row);
        rows.set(t.serial, row);
      }
      const battery = t.battery === null ? '—' : Math.round(t.battery * 100) + ' %' + (t.charging ? ' ⚡' : '');
      const cells = [t.serial, shortRole(t.role), t.rate.toFixed(1), t.spreadMs.toFixed(2),
                     t.hasPose ? (t.valid ? 'yes' : 'no') : '—', battery, t.hasPose ? t.ageMs.toFixed(0) : '—'];
      cells.forEach((text, i) => {
        if (row.cells[i].textContent !== text) row.cells[i].textContent = text;
      });
      row.className = t.hasPose && !t.valid ? 'invalid' : '';
    });
    const text = state.log.join('\n');
    if (logBox.textContent !== text) {
      logBox.textContent = text;
      logBox.scrollTop = logBox.scrollHeight;
    }
  }

  // ---- the stream ----
  const stateBox = document.getElementById('state');
  const clockBox = document.getElementById('clock');
  let latest = null, drawn = null, filledAt = 0, lastMessageAt = 0;
  let source = null, retryDelay = 1000;

  function showState(className, text) {
    if (stateBox.className !== className) stateBox.className = className;
    if (stateBox.textContent !== text) stateBox.textContent = text;
  }

  function connect() {
    source = new EventSource('stream');
    source.onmessage = (event) => {
      let state;
      try {
        state = JSON.parse(event.data);
      } catch (e) {
        return;
      }
      latest = state;
      lastMessageAt = performance.now();
      retryDelay = 1000;
      publish(state);
    };
    // The host has ended (or is not there yet): say so, and look again now and then, less and
    // less often, instead of letting the browser retry every few seconds for ever.
    source.onerror = () => {
      source.close();
      source = null;
      showState('paused', 'paused — the host is not running');
      setTimeout(connect, retryDelay);
      retryDelay = Math.min(retryDelay * 2, 30000);
    };
  }
  connect();

  let nextRender = 0;
  function animate(now) {
    requestAnimationFrame(animate);
    if (performance.now() < nextRender) return;
    if (latest && latest !== drawn) {
      draw(latest);
      drawn = latest;
      if (now - filledAt > 200) {
        fill(latest);
        filledAt = now;
        clockBox.textContent = 'frame ' + latest.frame + ' · ' + latest.simSeconds.toFixed(1) + ' s';
      }
    }
    if (source && lastMessageAt > 0) {
      if (now - lastMessageAt > 1000) showState('paused', 'paused — no frames from the host');
      else showState('running', 'running');
    }
    for (const device of trackers.values()) if (device.trail) device.trail.visible = trailsBox.checked;
    const start = performance.now();
    controls.update();
    renderer.render(scene, camera);
    labelRenderer.render(scene, camera);
    // Drawing without a graphics card is slow: leave the page at least as long again for the
    // stream, so that window.vantrelsView and the table keep up while the picture lags.
    const cost = performance.now() - start;
    nextRender = cost > 8 ? performance.now() + cost : 0;
  }
  requestAnimationFrame(animate);
})();
