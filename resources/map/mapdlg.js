/* SPDX-FileCopyrightText: 2026 Velmaro developers */
/* SPDX-License-Identifier: GPL-3.0-or-later */
// The map page of the player. The player writes the car's position, the datum offsets, the
// heading, the track id and a status word into hidden input elements; refreshMap() polls them
// every 1500 ms and draws the track, a start marker and a car marker turned to the heading.
// The player calls setMap() once the page has loaded, with the latest fix already written, so
// the map opens on the car rather than showing an empty spot until the first poll. Nothing here evaluates pushed text: every
// value is read with parseFloat or compared as a word. A click on the drawn track tells the
// player, through the web channel it offers, which point of the track was meant.
'use strict';

var REFRESH_MS = 1500;
var ZOOM = 16;
var FALLBACK_LAT = 24.077715;
var FALLBACK_LNG = 120.528903;
var ICON_SIZE = 32;
var ICON_ANCHOR = 16;
var COPYRIGHT_URL = 'https://www.openstreetmap.org/copyright';
// The track is a 5-pixel line; a click this close to it still means it.
var PICK_TOLERANCE_PX = 12;
// The map follows the car once it comes this close to an edge, recentring on it: a map that
// moved with every fix would be hard to look at, one that never moved would lose the car.
var FOLLOW_MARGIN_PX = 40;
// After the user drags the map it stays where they put it this long before it follows again.
var FOLLOW_PAUSE_MS = 3000;

// Heading icons by course in degrees: the first row whose threshold the angle exceeds wins.
var HEADINGS = [
    [349, 'n'], [326, 'nnw'], [304, 'nw'], [281, 'nww'], [259, 'w'], [236, 'sww'],
    [214, 'sw'], [191, 'ssw'], [169, 's'], [146, 'sse'], [124, 'se'], [101, 'see'],
    [79, 'e'], [56, 'nee'], [34, 'ne'], [11, 'nne']
];
// "sww" has always been shipped in a file named after the other spelling.
var ICON_FILES = { sww: 'wsw' };

var map = null;
var roadLayer = null;
var imageryLayer = null;
var trackLine = null;
var markers = [];
var drawnLng = 0;
var drawnLat = 0;
var trackIndex = 0;
var firstPoint = 1;
var onImagery = false;
// The datum offset added to the track as it is drawn (none on imagery): taken off again before a
// clicked point goes back to the player, which knows the track by the receiver's positions.
var drawnOffsetLng = 0;
var drawnOffsetLat = 0;
// The player's receiver of route clicks, once the web channel is up; null without one.
var routeSink = null;
var userDragging = false;
var followPausedUntil = 0;

function elementValue(id) {
    var element = document.getElementById(id);
    return element ? element.value : '';
}

function elementNumber(id) {
    return parseFloat(elementValue(id));
}

// A missing or unreadable number counts as 0, as an empty element always has.
function numberOrZero(id) {
    var value = elementNumber(id);
    return isFinite(value) ? value : 0;
}

function headingName(angle) {
    for (var i = 0; i < HEADINGS.length; ++i) {
        if (angle > HEADINGS[i][0]) {
            return HEADINGS[i][1];
        }
    }
    return 'n';
}

function headingFile(name) {
    return 'heading/' + (ICON_FILES[name] || name) + '.png';
}

var iconCache = {};
function headingIcon(name) {
    if (!iconCache[name]) {
        iconCache[name] = L.icon({
            iconUrl: headingFile(name),
            iconSize: [ICON_SIZE, ICON_SIZE],
            iconAnchor: [ICON_ANCHOR, ICON_ANCHOR]
        });
    }
    return iconCache[name];
}

function escapeHtml(text) {
    return String(text).replace(/[&<>"']/g, function (c) {
        return { '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;', "'": '&#39;' }[c];
    });
}

// Attributions come from the player's settings as plain text; OpenStreetMap's terms want its
// name to lead to its copyright page.
function attributionHtml(text) {
    return escapeHtml(text).replace('OpenStreetMap',
        '<a href="' + COPYRIGHT_URL + '">OpenStreetMap</a>');
}

function tileLayer(templateId, attributionId) {
    return L.tileLayer(elementValue(templateId), {
        attribution: attributionHtml(elementValue(attributionId)),
        maxZoom: 19
    });
}

function addMarker(title, lat, lng, icon) {
    var options = { title: title };
    if (icon) {
        options.icon = icon;
    }
    var marker = L.marker([lat, lng], options).addTo(map);
    marker.velmaroIcon = icon ? icon.options.iconUrl : '';
    markers.push(marker);
}

// Hidden markers are dropped from the list as well as from the map, so a long drive does not
// pile up thousands of them.
function hideAllMarkers() {
    for (var i = 0; i < markers.length; ++i) {
        map.removeLayer(markers[i]);
    }
    markers = [];
}

// The car marker is moved rather than replaced: a new marker is a new image element, which a
// busy renderer may leave blank for a moment at every step, so the car would flicker.
function moveCar(lat, lng, icon) {
    var car = markers[markers.length - 1];
    car.setLatLng([lat, lng]);
    if (car.velmaroIcon !== icon.options.iconUrl) {
        car.setIcon(icon);
        car.velmaroIcon = icon.options.iconUrl;
    }
}

function setMap() {
    if (map) {
        return;
    }
    var lat = elementNumber('default_lat');
    var lng = elementNumber('default_lng');
    if (!isFinite(lat) || !isFinite(lng)) {
        lat = FALLBACK_LAT;
        lng = FALLBACK_LNG;
    }
    map = L.map('map_canvas', { center: [lat, lng], zoom: ZOOM });
    roadLayer = tileLayer('road_tiles', 'road_attribution');
    imageryLayer = tileLayer('imagery_tiles', 'imagery_attribution');
    roadLayer.addTo(map);
    L.control.layers({ 'Road': roadLayer, 'Imagery': imageryLayer }).addTo(map);
    trackLine = L.polyline([], { color: '#FF0000', opacity: 0.5, weight: 5 }).addTo(map);
    map.on('click', onMapClick);
    map.on('dragstart', function () { userDragging = true; });
    map.on('dragend', function () {
        userDragging = false;
        followPausedUntil = Date.now() + FOLLOW_PAUSE_MS;
    });
    // The fix the player wrote before the map existed is drawn now, not one poll later. The map
    // was measured a moment ago: measuring again would move it off the centre it was given.
    drawLatest();
}

// Recentres on the car when it is outside the view or within the margin of an edge, unless the
// user is dragging the map or has just done so.
function followCar(lat, lng) {
    if (userDragging || Date.now() < followPausedUntil) {
        return;
    }
    var bounds = map.getPixelBounds();
    var inner = L.bounds(bounds.min.add([FOLLOW_MARGIN_PX, FOLLOW_MARGIN_PX]),
        bounds.max.subtract([FOLLOW_MARGIN_PX, FOLLOW_MARGIN_PX]));
    if (inner.contains(map.project([lat, lng]))) {
        return;
    }
    // Without a GPU an animated pan redraws the page and the whole player window for every step
    // of the glide.
    map.panTo([lat, lng], { animate: false });
}

// The point of the drawn track nearest the clicked one, in drawn coordinates, or null when the
// track passes farther than the tolerance from it. Worked out in unrounded pixels of the zoom
// shown: layer points are whole pixels, too coarse for the point when zoomed out.
function trackPointNear(latlng) {
    var points = trackLine.getLatLngs();
    if (points.length === 0) {
        return null;
    }
    var zoom = map.getZoom();
    var clicked = map.project(latlng, zoom);
    var previous = map.project(points[0], zoom);
    var best = previous;
    var bestDistance = clicked.distanceTo(best);
    for (var i = 1; i < points.length; ++i) {
        var next = map.project(points[i], zoom);
        var candidate = L.LineUtil.closestPointOnSegment(clicked, previous, next);
        var distance = clicked.distanceTo(candidate);
        if (distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
        previous = next;
    }
    return bestDistance <= PICK_TOLERANCE_PX ? map.unproject(best, zoom) : null;
}

// The player gets the point in the receiver's coordinates and finds the moment itself.
function onMapClick(event) {
    if (!routeSink || !event || !event.latlng) {
        return;
    }
    var point = trackPointNear(event.latlng);
    if (point) {
        routeSink.pick(point.lat - drawnOffsetLat, point.lng - drawnOffsetLng);
    }
}

function connectPlayer() {
    if (typeof QWebChannel !== 'function' || !window.qt || !window.qt.webChannelTransport) {
        return;
    }
    new QWebChannel(window.qt.webChannelTransport, function (channel) {
        routeSink = channel.objects.route || null;
    });
}

function clearTrack() {
    hideAllMarkers();
    trackLine.setLatLngs([]);
    firstPoint = 1;
    drawnLng = 0;
    drawnLat = 0;
}

function refreshMap() {
    if (!map) {
        return;
    }
    // The view may have been laid out again since Leaflet measured it (the player sizes the map
    // after the page loads, and per window size); following the car needs the view as it is now.
    map.invalidateSize({ pan: false });
    drawLatest();
}

function drawLatest() {
    var status = elementValue('map_status');
    var lng = numberOrZero('map_lng');
    var lat = numberOrZero('map_lat');
    var offsetLng = numberOrZero('offset_lng');
    var offsetLat = numberOrZero('offset_lat');
    var angle = numberOrZero('AngleBar');

    if (status === 'clear') {
        clearTrack();
        return;
    }
    if (status !== 'running') {
        if (firstPoint === 1) {
            return;
        }
        // The end of a track sits where the track is drawn, with the offset of the map shown.
        if (lng === 0 || lat === 0) {
            addMarker('End Point', drawnLat, drawnLng);
        } else {
            var shift = onImagery ? 0 : 1;
            addMarker('End Point', lat + shift * offsetLat, lng + shift * offsetLng);
        }
        firstPoint = 1;
        drawnLng = 0;
        drawnLat = 0;
        return;
    }
    if (lng === 0 && lat === 0) {
        return;
    }

    var index = parseInt(elementValue('Index'), 10);
    if (index !== trackIndex) {
        trackIndex = index;
        firstPoint = 1;
    }

    // Road maps may be drawn in a shifted datum; imagery is not. Changing between the two moves
    // every drawn point, so the track starts again.
    var imageryNow = map.hasLayer(imageryLayer);
    if (imageryNow !== onImagery) {
        if (offsetLng !== 0 || offsetLat !== 0) {
            firstPoint = 1;
        }
        onImagery = imageryNow;
    }
    var shiftLng = onImagery ? 0 : offsetLng;
    var shiftLat = onImagery ? 0 : offsetLat;
    lng += shiftLng;
    lat += shiftLat;

    if (firstPoint !== 1 && lng === drawnLng && lat === drawnLat) {
        return;
    }
    drawnLng = lng;
    drawnLat = lat;
    drawnOffsetLng = shiftLng;
    drawnOffsetLat = shiftLat;
    var icon = headingIcon(headingName(angle));
    if (firstPoint === 1) {
        firstPoint = 0;
        hideAllMarkers();
        trackLine.setLatLngs([]);
        addMarker('Start Point', lat, lng);
        addMarker('Car Point', lat, lng, icon);
    } else if (markers.length > 1) {
        moveCar(lat, lng, icon);
    } else {
        addMarker('Car Point', lat, lng, icon);
    }
    trackLine.addLatLng([lat, lng]);
    followCar(lat, lng);
}

// What is drawn, for the player's checks: the markers shown, the track's points, the base layer.
function describeMap() {
    if (!map) {
        return { ready: false };
    }
    return {
        ready: true,
        layer: onImagery || map.hasLayer(imageryLayer) ? 'imagery' : 'road',
        markers: markers.map(function (m) {
            var at = m.getLatLng();
            return { title: m.options.title, icon: m.velmaroIcon, lat: at.lat, lng: at.lng };
        }),
        path: trackLine.getLatLngs().map(function (p) { return [p.lat, p.lng]; }),
        center: [map.getCenter().lat, map.getCenter().lng],
        zoom: map.getZoom(),
        following: !userDragging && Date.now() >= followPausedUntil
    };
}

document.addEventListener('DOMContentLoaded', function () {
    document.getElementById('loaded').value = '1';
    connectPlayer();
    window.setInterval(refreshMap, REFRESH_MS);
});
