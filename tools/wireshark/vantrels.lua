-- Wireshark dissector for the Vantrels protocol: POSES messages from a tracking server to the
-- driver and the driver's host pose reports back. UDP port 21110 (a preference), and any other
-- UDP port by the "VNTR" magic. Warns about everything the driver would reject or ignore.
-- Lengths are the datagram's own (as sent), not what the capture kept of it: a capture cut short
-- by its snap length says so, and the rest of the datagram is judged by its sent length.
--
-- Install: copy this file into Wireshark's personal Lua plugins folder (Help > About Wireshark >
-- Folders), or run `wireshark -X lua_script:vantrels.lua` / `tshark -X lua_script:vantrels.lua`.

local vantrels = Proto("vantrels", "Vantrels tracking protocol")

local DEFAULT_PORT = 21110
local RECEIVE_LIMIT = 2048 -- the driver reads no more of a datagram
local HEADER_SIZE = { [1] = 8, [2] = 8, [3] = 8, [4] = 16 }
local RECORD_SIZE = { [1] = 32, [2] = 44, [3] = 44, [4] = 44 }
local MAX_CONTROLLERS = 16

local body_points = {
  [0] = "Head", "Chest", "Waist", "Left Knee", "Right Knee", "Left Foot", "Right Foot", "Left Elbow",
  "Right Elbow", "Neck", "Upper Chest", "Hip", "Left Shoulder", "Right Shoulder", "Left Forearm",
  "Right Forearm", "Left Hand", "Right Hand", "Left Shin", "Right Shin",
}
local message_types = { [1] = "POSES", [2] = "Host pose report" }
local hands = { [0] = "none", [1] = "left hand", [2] = "right hand" }

local f = vantrels.fields
local function floats(prefix, label, names, unit)
  local list = {}
  for _, n in ipairs(names) do
    list[n] = ProtoField.float(prefix .. "." .. n, label .. " " .. n, unit and { unit } or nil)
    f[prefix .. "." .. n] = list[n]
  end
  return list
end

f.magic = ProtoField.string("vantrels.magic", "Magic")
f.version = ProtoField.uint8("vantrels.version", "Version")
f.type = ProtoField.uint8("vantrels.type", "Message type", base.DEC, message_types)
f.count = ProtoField.uint8("vantrels.count", "Record count")
f.smoothing = ProtoField.uint8("vantrels.smoothing_ms", "Smoothing time constant", base.UNIT_STRING, { " ms" })
f.header_byte7 = ProtoField.uint8("vantrels.header_byte7", "Byte 7 (not read in this version)")
f.server_time = ProtoField.uint32("vantrels.server_time_us", "Server time stamp", base.UNIT_STRING, { " µs" })
f.settings = ProtoField.uint8("vantrels.settings", "Filter settings", base.HEX)
f.prediction = ProtoField.bool("vantrels.settings.prediction", "Prediction", 8, nil, 0x01)
f.adaptive = ProtoField.bool("vantrels.settings.adaptive", "Adaptive smoothing", 8, nil, 0x02)
f.reserved = ProtoField.bytes("vantrels.reserved", "Reserved")

f.record = ProtoField.none("vantrels.record", "Body point record")
f.point = ProtoField.uint8("vantrels.record.point", "Body point", base.DEC, body_points)
f.record_flags = ProtoField.uint8("vantrels.record.flags", "Flags", base.HEX)
f.valid = ProtoField.bool("vantrels.record.valid", "Valid", 8, nil, 0x01)
f.charging = ProtoField.bool("vantrels.record.charging", "Charging", 8, nil, 0x02)
f.head_relative = ProtoField.bool("vantrels.record.head_relative", "Head-relative", 8, nil, 0x04)
f.battery = ProtoField.uint8("vantrels.record.battery", "Battery", base.UNIT_STRING, { " %" })
local record_position = floats("vantrels.record.position", "Position", { "x", "y", "z" }, " m")
local record_rotation = floats("vantrels.record.rotation", "Rotation", { "x", "y", "z", "w" })
local record_offset = floats("vantrels.record.head_offset", "Head offset", { "x", "y", "z" }, " m")

f.headset_valid = ProtoField.bool("vantrels.headset.valid", "Headset valid")
local headset_position = floats("vantrels.headset.position", "Headset position", { "x", "y", "z" }, " m")
local headset_rotation = floats("vantrels.headset.rotation", "Headset rotation", { "x", "y", "z", "w" })
f.controller = ProtoField.none("vantrels.controller", "Controller")
f.controller_valid = ProtoField.uint8("vantrels.controller.valid", "Valid and connected")
f.hand = ProtoField.uint8("vantrels.controller.hand", "Hand", base.DEC, hands)
local controller_position = floats("vantrels.controller.position", "Position", { "x", "y", "z" }, " m")
local controller_rotation = floats("vantrels.controller.rotation", "Rotation", { "x", "y", "z", "w" })

local e_short = ProtoExpert.new("vantrels.short", "Datagram too short", expert.group.MALFORMED, expert.severity.WARN)
local e_magic = ProtoExpert.new("vantrels.magic.bad", "No VNTR magic", expert.group.MALFORMED, expert.severity.WARN)
local e_version = ProtoExpert.new("vantrels.version.unknown", "Unknown version", expert.group.PROTOCOL,
  expert.severity.WARN)
local e_type = ProtoExpert.new("vantrels.type.unknown", "Unknown message type", expert.group.PROTOCOL,
  expert.severity.WARN)
local e_fit = ProtoExpert.new("vantrels.records.fit", "Records do not fit", expert.group.MALFORMED,
  expert.severity.WARN)
local e_point = ProtoExpert.new("vantrels.record.point.unknown", "No such body point", expert.group.PROTOCOL,
  expert.severity.WARN)
local e_value = ProtoExpert.new("vantrels.record.value", "Value the driver does not take", expert.group.PROTOCOL,
  expert.severity.WARN)
local e_trailing = ProtoExpert.new("vantrels.trailing", "Bytes after the last record", expert.group.PROTOCOL,
  expert.severity.NOTE)
local e_long = ProtoExpert.new("vantrels.long", "Datagram too long", expert.group.MALFORMED, expert.severity.WARN)
local e_cut = ProtoExpert.new("vantrels.cut", "Cut short by the capture", expert.group.UNDECODED,
  expert.severity.NOTE)
vantrels.experts = { e_short, e_magic, e_version, e_type, e_fit, e_point, e_value, e_trailing, e_long, e_cut }

vantrels.prefs.port = Pref.uint("UDP port", DEFAULT_PORT, "The driver's UDP port (setting driver_vantrels/port)")

local function finite(x)
  return x == x and x ~= math.huge and x ~= -math.huge
end

-- Adds the float fields of one vector at offset; returns whether all of them are finite.
local function add_floats(tree, tvb, offset, fields, names)
  local ok = true
  for i, n in ipairs(names) do
    local range = tvb(offset + 4 * (i - 1), 4)
    tree:add_le(fields[n], range)
    ok = ok and finite(range:le_float())
  end
  return ok
end

local XYZ, XYZW = { "x", "y", "z" }, { "x", "y", "z", "w" }

-- length is the datagram's as sent, captured what the capture kept of it.
local function dissect_poses(tvb, tree, pinfo, version, count, length, captured)
  local header = HEADER_SIZE[version]
  local size = RECORD_SIZE[version]
  if version >= 3 then
    tree:add(f.smoothing, tvb(7, 1))
  else
    tree:add(f.header_byte7, tvb(7, 1))
  end
  if version == 4 then
    if length < 16 then
      tree:add_proto_expert_info(e_short, "Version 4 needs a 16-byte header: the driver rejects this datagram")
      return
    end
    if captured < 16 then return end
    tree:add_le(f.server_time, tvb(8, 4))
    local settings = tree:add(f.settings, tvb(12, 1))
    settings:add(f.prediction, tvb(12, 1))
    settings:add(f.adaptive, tvb(12, 1))
    tree:add(f.reserved, tvb(13, 3))
  end
  local needed = header + count * size
  if length > RECEIVE_LIMIT then
    tree:add_proto_expert_info(e_long, string.format(
      "%d bytes: the driver reads %d bytes of a datagram and drops a longer one whole", length, RECEIVE_LIMIT))
  elseif length < needed then
    tree:add_proto_expert_info(e_fit, string.format(
      "%d records of %d bytes need %d bytes, the datagram has %d: the driver rejects it", count, size, needed, length))
  elseif length > needed then
    tree:add_proto_expert_info(e_trailing, string.format("%d bytes after the last record (ignored)", length - needed))
  end
  local names = {}
  for i = 0, count - 1 do
    local at = header + i * size
    if at + size > captured then break end
    local index = tvb(at, 1):uint()
    local name = body_points[index]
    local rec = tree:add(f.record, tvb(at, size))
    rec:set_text(string.format("Record %d: %s (%d)", i, name or "unknown body point", index))
    names[#names + 1] = name or tostring(index)
    local point = rec:add(f.point, tvb(at, 1))
    if not name then
      point:add_proto_expert_info(e_point, string.format("Body point %d does not exist (0 to 19): no tracker", index))
    end
    local flags = rec:add(f.record_flags, tvb(at + 1, 1))
    flags:add(f.valid, tvb(at + 1, 1))
    flags:add(f.charging, tvb(at + 1, 1))
    if version >= 3 then flags:add(f.head_relative, tvb(at + 1, 1)) end
    local battery = rec:add(f.battery, tvb(at + 2, 1))
    local level = tvb(at + 2, 1):uint()
    if level == 255 then
      battery:append_text(" (no battery information)")
    elseif level > 100 then
      battery:add_proto_expert_info(e_value, "Battery above 100 %")
    end
    local ok = add_floats(rec, tvb, at + 4, record_position, XYZ)
    ok = add_floats(rec, tvb, at + 16, record_rotation, XYZW) and ok
    if version >= 2 then ok = add_floats(rec, tvb, at + 32, record_offset, XYZ) and ok end
    if not ok then
      rec:add_proto_expert_info(e_value, "A number is not finite: the driver discards this record's pose")
    end
  end
  pinfo.cols.info:set(string.format("POSES v%d, %d record%s%s%s", version, count, count == 1 and "" or "s",
    #names > 0 and ": " .. table.concat(names, ", ", 1, math.min(#names, 4)) .. (#names > 4 and ", ..." or "") or "",
    length > RECEIVE_LIMIT and " (too long: dropped)" or ""))
end

local function dissect_report(tvb, tree, pinfo, version, count, length, captured)
  if version ~= 4 then
    tree:add_proto_expert_info(e_version, string.format("Host pose report version %d; the driver sends 4", version))
  end
  if count > MAX_CONTROLLERS or length ~= 40 + 32 * count then
    tree:add_proto_expert_info(e_fit, string.format(
      "A report with %d controllers is %d bytes (at most %d controllers); this one has %d bytes",
      count, 40 + 32 * count, MAX_CONTROLLERS, length))
  end
  if captured < 40 then return end
  tree:add(f.headset_valid, tvb(8, 1))
  add_floats(tree, tvb, 12, headset_position, XYZ)
  add_floats(tree, tvb, 24, headset_rotation, XYZW)
  for i = 0, count - 1 do
    local at = 40 + 32 * i
    if at + 32 > captured then break end
    local c = tree:add(f.controller, tvb(at, 32))
    c:set_text(string.format("Controller %d: %s", i, hands[tvb(at + 1, 1):uint()] or "unknown hand"))
    c:add(f.controller_valid, tvb(at, 1))
    c:add(f.hand, tvb(at + 1, 1))
    add_floats(c, tvb, at + 4, controller_position, XYZ)
    add_floats(c, tvb, at + 16, controller_rotation, XYZW)
  end
  pinfo.cols.info:set(string.format("Host pose report, headset %s, %d controller%s",
    length >= 40 and tvb(8, 1):uint() ~= 0 and "valid" or "not valid", count, count == 1 and "" or "s"))
end

function vantrels.dissector(tvb, pinfo, tree)
  local length, captured = tvb:reported_len(), tvb:len()
  pinfo.cols.protocol:set("Vantrels")
  local root = tree:add(vantrels, tvb())
  if captured < length then
    root:add_proto_expert_info(e_cut, string.format(
      "Captured %d of the datagram's %d bytes (the capture's snap length): the rest is not shown", captured, length))
  end
  if captured < 8 and captured < length then
    pinfo.cols.info:set("Vantrels? (" .. length .. " bytes, " .. captured .. " captured)")
    return captured
  end
  if length < 4 or tvb(0, 4):string() ~= "VNTR" then
    root:add_proto_expert_info(e_magic, "No VNTR magic: the driver ignores this datagram")
    pinfo.cols.info:set("Not a Vantrels message (" .. length .. " bytes)")
    return captured
  end
  root:add(f.magic, tvb(0, 4))
  if length < 8 then
    root:add_proto_expert_info(e_short, string.format("%d bytes, shorter than the 8-byte header: rejected", length))
    pinfo.cols.info:set("Short Vantrels datagram (" .. length .. " bytes)")
    return captured
  end
  local version, kind, count = tvb(4, 1):uint(), tvb(5, 1):uint(), tvb(6, 1):uint()
  local version_item = root:add(f.version, tvb(4, 1))
  local type_item = root:add(f.type, tvb(5, 1))
  root:add(f.count, tvb(6, 1))
  if kind == 1 then
    if HEADER_SIZE[version] == nil then
      version_item:add_proto_expert_info(e_version, string.format(
        "POSES version %d: the driver takes versions 1 to 4 and rejects this datagram", version))
      pinfo.cols.info:set(string.format("POSES of unknown version %d", version))
      return captured
    end
    dissect_poses(tvb, root, pinfo, version, count, length, captured)
  elseif kind == 2 then
    dissect_report(tvb, root, pinfo, version, count, length, captured)
  else
    type_item:add_proto_expert_info(e_type, string.format(
      "Message type %d: 1 is POSES, 2 the host pose report; the driver rejects this datagram", kind))
    pinfo.cols.info:set(string.format("Unknown Vantrels message type %d", kind))
  end
  return captured
end

local udp_port = DissectorTable.get("udp.port")
local registered_port = vantrels.prefs.port
udp_port:add(registered_port, vantrels)

function vantrels.prefs_changed()
  if vantrels.prefs.port ~= registered_port then
    udp_port:remove(registered_port, vantrels)
    registered_port = vantrels.prefs.port
    udp_port:add(registered_port, vantrels)
  end
end

-- Any other port: a datagram that starts with the magic is ours.
vantrels:register_heuristic("udp", function(tvb, pinfo, tree)
  if tvb:len() < 4 or tvb(0, 4):string() ~= "VNTR" then return false end
  vantrels.dissector(tvb, pinfo, tree)
  return true
end)
