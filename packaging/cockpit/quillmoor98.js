/* Samba connections: Quillmoor 98's control socket in Cockpit.
 *
 * Everything goes through the monitor's control socket (docs/control.md):
 * the service's /run/quillmoor98/control, reached as the superuser when the
 * session has administrative access and as the user otherwise (a member of
 * the group quillmoor98), or the user's own console under XDG_RUNTIME_DIR.
 * The current connections follow the socket's event stream. */
"use strict";

const SERVICE_SOCKET = "/run/quillmoor98/control";

const SETTINGS = [
    ["Refresh", "Refresh every (seconds, 1 to 10000)"],
    ["Count", "Former users kept (0 to 1000)"],
    ["Idle", "Disconnect users idle for (minutes, 0 to 59; 0: never)"],
    ["MaxNumber", "Largest number of users (0 to 999; 0: no limit)"],
    ["IPFilter", "Disconnect addresses that do not begin with the prefix"],
    ["IPFilterString", "Allowed address prefix"],
    ["IPC", "Show and log connections to IPC$"],
    ["Quake", "Disconnect all when executing the listed programs"],
    ["Siren", "Sound on a new connection"],
    ["Standard", "The built-in siren (otherwise the sound file)"],
    ["SoundFile", "Sound file"],
    ["Popup", "Bring the window up on a new connection"],
    ["Notify", "A desktop notification on a new connection"],
    ["Launch", "Launch Quillmoor 98 on startup"],
];

let http = null;
let settings = {};
let historyVisits = [];
let refreshTimer = null;
let pendingDisconnect = null;

const $ = id => document.getElementById(id);

function el(tag, attrs, ...children) {
    const node = document.createElement(tag);
    for (const [k, v] of Object.entries(attrs || {})) {
        if (k === "class") node.className = v;
        else if (k.startsWith("on")) node.addEventListener(k.slice(2), v);
        else node.setAttribute(k, v);
    }
    for (const c of children) node.append(c === null || c === undefined ? "" : c);
    return node;
}

function known(value, unknown) {
    return value === null || value === undefined ? (unknown || "Not known") : String(value);
}

function when(value) {
    return value ? value.replace("T", " ") : "";
}

function duration(seconds) {
    if (seconds === null || seconds === undefined) return "";
    const h = Math.floor(seconds / 3600), m = Math.floor(seconds / 60) % 60, s = seconds % 60;
    return [h, m, s].map(n => String(n).padStart(2, "0")).join(":");
}

function showError(text) {
    $("qm-alert-text").textContent = text;
    $("qm-alert").classList.toggle("qm-hidden", !text);
}

function reason(error) {
    return error.message || String(error);
}

/* A request's JSON answer; a refusal rejects with the monitor's reason. */
function ask(method, path, body) {
    /* A request without a body still needs one, empty, to be sent off. */
    const request = { method, path, headers: { "Content-Type": "application/json" }, body: body === undefined ? "" : JSON.stringify(body) };
    return new Promise((resolve, reject) => {
        http.request(request).then(text => resolve(text ? JSON.parse(text) : {}), (ex, data) => {
            let why = cockpit.message(ex);
            try {
                why = JSON.parse(data).error || why;
            } catch (e) { /* not the monitor's JSON: keep Cockpit's reason */ }
            reject(new Error(why));
        });
    });
}

/* The socket: ?socket=PATH, else the service's, else the user's console's. */
function connect() {
    const wanted = cockpit.location.options.socket;
    const candidates = wanted ? Promise.resolve([wanted]) : cockpit.spawn(["sh", "-c", 'printf %s "$XDG_RUNTIME_DIR"'], { err: "ignore" })
            .then(dir => dir ? [SERVICE_SOCKET, dir + "/quillmoor98/control"] : [SERVICE_SOCKET])
            .catch(() => [SERVICE_SOCKET]);
    return candidates.then(paths => {
        const attempt = i => {
            if (i >= paths.length) return Promise.reject(new Error("No monitor answers at " + paths.join(" or ") + ". Is the service running (systemctl status quillmoor98)?"));
            const client = cockpit.http({ unix: paths[i], superuser: "try" });
            return client.get("/v1/status").then(() => { http = client; return paths[i] }, () => attempt(i + 1));
        };
        return attempt(0);
    });
}

function renderStatus(s) {
    const samba = s.server_readable ? "Samba readable" : "Samba cannot be read";
    $("qm-status").textContent = `${s.users} connected · ${s.open_files} open files · ${s.former_users} in the history · ${samba}` +
        (s.last_tick ? ` · last look ${when(s.last_tick)}` : "") +
        (s.program_watch_active ? " · a watched program runs: everybody is disconnected" : "");
    for (const b of document.querySelectorAll("#qm-kick button")) {
        const on = b.dataset.status === s.disconnect_status;
        b.classList.toggle("pf-m-selected", on);
        b.setAttribute("aria-checked", on ? "true" : "false");
        b.setAttribute("role", "radio");
    }
}

function userRow(u, withButton) {
    const kicked = u.exit_status === "kicked";
    const cells = [
        el("td", { "data-label": "Computer", class: kicked ? "qm-kicked" : "" }, u.client),
        el("td", { "data-label": "Account" }, known(u.account, "Not known yet")),
        el("td", { "data-label": "Address" }, known(u.address, "Not known yet")),
        el("td", { "data-label": "Host" }, known(u.host, "Not known yet")),
        el("td", { "data-label": "Connected since" }, when(u.entered)),
    ];
    if (withButton) {
        cells.push(el("td", { "data-label": "Idle" }, duration(u.idle_seconds)));
        cells.push(el("td", { class: "pf-c-table__action" },
                      kicked ? "Disconnected"
                          : el("button", { class: "pf-c-button pf-m-danger pf-m-small", "data-client": u.client, onclick: () => confirmDisconnect(u.client, u.address) }, "Disconnect")));
    }
    return el("tr", { class: "qm-user", "data-client": u.client }, ...cells);
}

function renderUsers(users) {
    const body = $("qm-users");
    const rows = [];
    for (const u of users) {
        rows.push(userRow(u, true));
        for (const s of u.shares) {
            rows.push(el("tr", { class: "qm-share" }, el("td", { colspan: "7" }, `${s.name}${s.kind === "print" ? " (printer)" : ""}`)));
            for (const f of s.files)
                rows.push(el("tr", { class: "qm-file" }, el("td", { colspan: "7" }, f.path)));
        }
    }
    body.replaceChildren(...rows);
    $("qm-users-empty").classList.toggle("qm-hidden", users.length > 0);
}

function renderHistory() {
    const filter = $("qm-filter").value.trim().toLowerCase();
    const matches = v => !filter || [v.client, v.account, v.address, v.host, ...v.shares.map(s => s.name)]
            .some(t => t && t.toLowerCase().includes(filter));
    const rows = historyVisits.filter(matches).map(v => el("tr", {},
        el("td", { "data-label": "Computer" }, v.client),
        el("td", { "data-label": "Account" }, known(v.account)),
        el("td", { "data-label": "Address" }, known(v.address)),
        el("td", { "data-label": "Host" }, known(v.host)),
        el("td", { "data-label": "Connected" }, when(v.entered)),
        el("td", { "data-label": "Ended" }, v.left ? when(v.left) : "still connected"),
        el("td", { "data-label": "How it ended" }, (v.exit_status || "").replace("_", " "))));
    $("qm-history").replaceChildren(...rows);
}

function renderList(entries) {
    $("qm-list").replaceChildren(...entries.map(e => el("tr", { "data-name": e.name },
        el("td", {}, e.name), el("td", {}, e.address),
        el("td", { class: "pf-c-table__action" },
           el("button", { class: "pf-c-button pf-m-secondary pf-m-small", onclick: () => removeFromList(e.name) }, "Remove user")))));
}

function renderSettings(values) {
    settings = values;
    const groups = SETTINGS.map(([key, label]) => {
        const value = values[key];
        const id = "qm-setting-" + key;
        let input;
        if (typeof value === "boolean") {
            input = el("input", { type: "checkbox", class: "pf-c-check__input", id, "data-key": key });
            input.checked = value;
            return el("div", { class: "pf-c-form__group" }, el("div", { class: "pf-c-form__group-label" }),
                      el("div", { class: "pf-c-form__group-control" },
                         el("div", { class: "pf-c-check" }, input, el("label", { class: "pf-c-check__label", for: id }, label))));
        }
        input = el("input", { class: "pf-c-form-control", id, "data-key": key, type: typeof value === "number" ? "number" : "text" });
        input.value = value;
        return el("div", { class: "pf-c-form__group" },
                  el("div", { class: "pf-c-form__group-label" }, el("label", { class: "pf-c-form__label", for: id }, label)),
                  el("div", { class: "pf-c-form__group-control" }, input));
    });
    $("qm-settings").replaceChildren(...groups);
}

function refresh() {
    return Promise.all([ask("GET", "/v1/status"), ask("GET", "/v1/users")])
            .then(([status, answer]) => { renderStatus(status); renderUsers(answer.users) })
            .then(() => currentTab() === "history" ? loadHistory() : null)
            .catch(e => showError(reason(e)));
}

function loadHistory() {
    return ask("GET", "/v1/history").then(a => { historyVisits = a.visits; renderHistory() });
}

function loadList() {
    return ask("GET", "/v1/disconnect-list").then(a => renderList(a.entries));
}

/* Each event of the stream brings the current connections up to date at once;
 * a burst of events in one tick makes one reading. */
function scheduleRefresh() {
    if (refreshTimer) return;
    refreshTimer = window.setTimeout(() => { refreshTimer = null; refresh() }, 20);
}

function watch() {
    let buffer = "";
    const stream = http.request({ method: "GET", path: "/v1/events", body: "" });
    stream.stream(data => {
        buffer += data;
        let end;
        while ((end = buffer.indexOf("\n\n")) >= 0) {
            const block = buffer.slice(0, end);
            buffer = buffer.slice(end + 2);
            if (!block.startsWith("data: ")) continue;
            const event = JSON.parse(block.slice(6));
            scheduleRefresh();
            if (event.kind === "control" && event.event.startsWith("list_")) loadList();
            if (event.kind === "control" && event.event === "settings") ask("GET", "/v1/settings").then(renderSettings);
        }
    });
    /* A restarted service: find it again. */
    stream.always(() => window.setTimeout(() => start(), 2000));
    refresh();
}

/* The address picks this row's client where another has the same name. */
function confirmDisconnect(client, address) {
    pendingDisconnect = address ? { client, address } : { client };
    $("qm-confirm-text").textContent = `Disconnect ${client}${address ? " at " + address : ""}? Its sessions on this server end now; open files may lose unsaved changes.`;
    $("qm-confirm").classList.remove("qm-hidden");
    $("qm-confirm-yes").focus();
}

function closeConfirm() {
    pendingDisconnect = null;
    $("qm-confirm").classList.add("qm-hidden");
}

function removeFromList(name) {
    ask("POST", "/v1/disconnect-list/remove", { name }).then(loadList, e => showError(reason(e)));
}

function currentTab() {
    return document.querySelector("#qm-tabs .pf-m-current button").dataset.tab;
}

function showTab(tab) {
    for (const item of document.querySelectorAll("#qm-tabs .pf-c-tabs__item"))
        item.classList.toggle("pf-m-current", item.querySelector("button").dataset.tab === tab);
    for (const t of ["current", "history", "list", "settings"])
        $("qm-tab-" + t).classList.toggle("qm-hidden", t !== tab);
    if (tab === "history") loadHistory().catch(e => showError(reason(e)));
}

function exportLog() {
    http.get("/v1/history", { format: "text" }).then(text => {
        const link = el("a", { download: "former-connections.log", href: URL.createObjectURL(new Blob([text], { type: "text/plain" })) });
        document.body.append(link);
        link.click();
        link.remove();
    }, e => showError(reason(e)));
}

function saveSettings(event) {
    event.preventDefault();
    const changes = {};
    for (const input of document.querySelectorAll("#qm-settings input")) {
        const key = input.dataset.key;
        const value = input.type === "checkbox" ? input.checked : input.type === "number" ? Number(input.value) : input.value;
        if (value !== settings[key]) changes[key] = value;
    }
    ask("PUT", "/v1/settings", changes).then(values => { showError(""); renderSettings(values) }, e => showError(reason(e)));
}

function start() {
    connect().then(() => {
        showError("");
        watch();
        loadList().catch(e => showError(reason(e)));
        ask("GET", "/v1/settings").then(renderSettings, e => showError(reason(e)));
    }, e => {
        showError(e.message);
        window.setTimeout(start, 5000);
    });
}

document.addEventListener("DOMContentLoaded", () => {
    for (const b of document.querySelectorAll("#qm-tabs button")) b.addEventListener("click", () => showTab(b.dataset.tab));
    for (const b of document.querySelectorAll("#qm-kick button")) {
        b.addEventListener("click", () => ask("PUT", "/v1/disconnect-status", { disconnect_status: b.dataset.status })
                .then(() => refresh(), e => showError(reason(e))));
    }
    $("qm-confirm-no").addEventListener("click", closeConfirm);
    $("qm-confirm-yes").addEventListener("click", () => {
        const target = pendingDisconnect;
        closeConfirm();
        ask("POST", "/v1/disconnect", target).then(refresh, e => showError(reason(e)));
    });
    $("qm-filter").addEventListener("input", renderHistory);
    $("qm-export").addEventListener("click", exportLog);
    $("qm-list-form").addEventListener("submit", event => {
        event.preventDefault();
        const name = $("qm-list-name").value.trim();
        const address = $("qm-list-address").value.trim();
        ask("POST", "/v1/disconnect-list/add", address ? { name, address } : { name })
                .then(() => { $("qm-list-name").value = ""; $("qm-list-address").value = ""; showError(""); return loadList() },
                      e => showError(reason(e)));
    });
    $("qm-settings-form").addEventListener("submit", saveSettings);
    start();
});
