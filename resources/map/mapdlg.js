// The map page of the player. The player writes the car's position, the datum offsets, the
// heading, the track id and a status word into hidden input elements; refreshMap() polls them
// every 1500 ms and draws the track, a start marker and a car marker turned to the heading.
// The player calls setMap() once the page has loaded. Nothing here evaluates pushed text: every
// value is read with parseFloat or compared as a word.
'use strict';

var REFRESH_MS = 1500;
var ZOOM = 16;
var FALLBACK_LAT = 24.077715;
var FALLBACK_LNG = 120.528903;
var ICON_SIZE = 32;
var ICON_ANCHOR = 16;
var COPYRIGHT_URL = 'https://www.openstreetmap.org/copyright';

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

function hideLastMarker() {
    map.removeLayer(markers.pop());
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
}

function clearTrack() {
    hideAllMarkers();
    trackLine.setLatLngs([]);
    firstPoint = 1;
    drawnLng = 0;
    drawnLat = 0;
}

function refreshMap() {
    var status = elementValue('map_status');
    var lng = numberOrZero('map_lng');
    var lat = numberOrZero('map_lat');
    var offsetLng = numberOrZero('offset_lng');
    var offsetLat = numberOrZero('offset_lat');
    if (!map) {
        return;
    }
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
    if (!onImagery) {
        lng += offsetLng;
        lat += offsetLat;
    }

    if (firstPoint !== 1 && lng === drawnLng && lat === drawnLat) {
        return;
    }
    drawnLng = lng;
    drawnLat = lat;
    if (firstPoint === 1) {
        firstPoint = 0;
        hideAllMarkers();
        trackLine.setLatLngs([]);
        addMarker('Start Point', lat, lng);
    } else if (markers.length > 1) {
        hideLastMarker();
    }
    addMarker('Car Point', lat, lng, headingIcon(headingName(angle)));
    trackLine.addLatLng([lat, lng]);
    map.panTo([lat, lng]);
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
        zoom: map.getZoom()
    };
}

document.addEventListener('DOMContentLoaded', function () {
    document.getElementById('loaded').value = '1';
    window.setInterval(refreshMap, REFRESH_MS);
});
