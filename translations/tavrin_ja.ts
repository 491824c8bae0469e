<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>tavrin::CHelpWindow</name>
    <message>
        <source>Tavrin Help</source>
        <translation>Tavrin ヘルプ</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>戻る</translation>
    </message>
    <message>
        <source>Forward</source>
        <translation>進む</translation>
    </message>
    <message>
        <source>Search the guide</source>
        <translation>ガイドを検索</translation>
    </message>
    <message>
        <source>Open in browser</source>
        <translation>ブラウザで開く</translation>
    </message>
    <message>
        <source>The user guide is not installed here:
%1</source>
        <translation>ユーザーガイドがインストールされていません:
%1</translation>
    </message>
    <message>
        <source>Not found</source>
        <translation>見つかりません</translation>
    </message>
    <message>
        <source>No browser could be started</source>
        <translation>ブラウザを起動できませんでした</translation>
    </message>
</context>
<context>
    <name>tavrin::CTransferBar</name>
    <message>
        <source>Cancel</source>
        <translation>キャンセル</translation>
    </message>
</context>
</TS>
