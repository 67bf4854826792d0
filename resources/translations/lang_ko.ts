<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko_KR">
    <context>
        <name>ChangePasswordDialog</name>
        <message>
            <source>Change Password</source>
            <translation>비밀번호 변경</translation>
        </message>
        <message>
            <source>Old Password</source>
            <translation>현재 비밀번호</translation>
        </message>
        <message>
            <source>New Password</source>
            <translation>새 비밀번호</translation>
        </message>
        <message>
            <source>Confirm Password</source>
            <translation>새 비밀번호 확인</translation>
        </message>
        <message>
            <source>OK</source>
            <translation>확인</translation>
        </message>
        <message>
            <source>The password was changed, but this computer could not keep it. Log in again with the new password.</source>
            <translation>비밀번호는 변경되었지만 이 컴퓨터에 저장하지 못했습니다. 새 비밀번호로 다시 로그인해 주세요.</translation>
        </message>
        <message>
            <source>Please check network connection</source>
            <translation>네트워크 연결을 확인해 주세요.</translation>
        </message>
    </context>
    <context>
        <name>ChatDialog</name>
        <message>
            <source>Search</source>
            <translation>검색</translation>
        </message>
        <message>
            <source>I have read until current position.</source>
            <translation>여기까지 읽었습니다.</translation>
        </message>
        <message>
            <source>Image File</source>
            <translation>이미지 파일</translation>
        </message>
        <message>
            <source>All Transfer File</source>
            <translation>모든 전송 파일</translation>
        </message>
        <message>
            <source>Document File</source>
            <translation>문서 파일</translation>
        </message>
        <message>
            <source>Compressed File</source>
            <translation>압축 파일</translation>
        </message>
        <message>
            <source>Video File</source>
            <translation>동영상 파일</translation>
        </message>
        <message>
            <source>Audio File</source>
            <translation>오디오 파일</translation>
        </message>
        <message>
            <source>File Transfer</source>
            <translation>파일 전송</translation>
        </message>
        <message>
            <source>Folders can not be transferred.</source>
            <translation>폴더는 보낼 수 없습니다.</translation>
        </message>
        <message>
            <source>Size limit(%1)</source>
            <translation>크기 제한(%1)</translation>
        </message>
        <message>
            <source>This image is a corrupted image.</source>
            <translation>손상된 이미지입니다.</translation>
        </message>
        <message>
            <source>Save As</source>
            <translation>다른 이름으로 저장</translation>
        </message>
        <message>
            <source>You are not allowed to save files.</source>
            <translation>파일을 저장할 권한이 없습니다.</translation>
        </message>
        <message>
            <source>Failed to save image</source>
            <translation>파일을 저장하지 못했습니다</translation>
        </message>
        <message>
            <source>Failed to save long text</source>
            <translation>긴 메시지를 저장하지 못했습니다</translation>
        </message>
        <message>
            <source>This file can run a program on this computer.
Do you want to open it?</source>
            <translation>이 파일은 이 컴퓨터에서 프로그램을 실행할 수 있습니다.
열어 보시겠습니까?</translation>
        </message>
        <message>
            <source>Failed to save file.</source>
            <translation>파일을 저장하지 못했습니다.</translation>
        </message>
        <message>
            <source>Add Member</source>
            <translation>대화상대 추가</translation>
        </message>
        <message>
            <source>View Members</source>
            <translation>대화상대 보기</translation>
        </message>
        <message>
            <source>Export conversation content</source>
            <translation>대화 내용 내보내기</translation>
        </message>
        <message>
            <source>Leave</source>
            <translation>나가기</translation>
        </message>
        <message>
            <source>Delete conversations</source>
            <translation>대화 내용 삭제</translation>
        </message>
        <message>
            <source>Copy</source>
            <translation>복사</translation>
        </message>
        <message>
            <source>Delete</source>
            <translation>삭제</translation>
        </message>
        <message>
            <source>Do you want to leave this room?
All data will be delete.</source>
            <translation>대화방을 나가시겠습니까?
모든 대화 내용이 삭제됩니다.</translation>
        </message>
        <message>
            <source>Do you want to delete all data?</source>
            <translation>모든 대화 내용을 삭제하시겠습니까?</translation>
        </message>
        <message>
            <source>No Members</source>
            <translation>대화상대가 없습니다</translation>
        </message>
        <message>
            <source>The room could not be created.</source>
            <translation>대화방을 만들지 못했습니다.</translation>
        </message>
        <message>
            <source>fail to leave</source>
            <translation>대화방을 나가지 못했습니다</translation>
        </message>
        <message>
            <source>Too fast to send message
Please retry after a few seconds</source>
            <translation>메시지를 너무 빨리 보냈습니다
잠시 후 다시 시도하세요</translation>
        </message>
        <message>
            <source>Cann't send long message. Try again.</source>
            <translation>긴 메시지를 보낼 수 없습니다. 다시 시도하세요.</translation>
        </message>
        <message>
            <source>The file can no longer be read.</source>
            <translation>파일을 더 이상 읽을 수 없습니다.</translation>
        </message>
        <message>
            <source>The pasted picture could not be kept for sending.</source>
            <translation>붙여넣은 그림을 보내기 위해 저장하지 못했습니다.</translation>
        </message>
        <message>
            <source>Upload</source>
            <translation>업로드</translation>
        </message>
        <message>
            <source>%1 members</source>
            <translation>%1명</translation>
        </message>
        <message>
            <source>Alarm: on</source>
            <translation>알림: 켜짐</translation>
        </message>
        <message>
            <source>Alarm: off</source>
            <translation>알림: 꺼짐</translation>
        </message>
    </context>
    <context>
        <name>ChatExportWriter</name>
        <message>
            <source>image</source>
            <translation>이미지</translation>
        </message>
        <message>
            <source>video</source>
            <translation>동영상</translation>
        </message>
        <message>
            <source>%1year %2Month %3Day %4Week</source>
            <translation>%1년 %2월 %3일 %4요일</translation>
        </message>
        <message>
            <source>file %1</source>
            <translation>파일 %1</translation>
        </message>
        <message>
            <source>Chat with %1 in Veltri Talk</source>
            <translation>Veltri Talk에서 %1 님과 나눈 대화</translation>
        </message>
        <message>
            <source>Saved : %1</source>
            <translation>저장 : %1</translation>
        </message>
    </context>
    <context>
        <name>ChatInviteDialog</name>
        <message>
            <source>Search User</source>
            <translation>사용자 검색</translation>
        </message>
        <message>
            <source>People</source>
            <translation>사람 목록</translation>
        </message>
        <message>
            <source>Chosen people</source>
            <translation>선택한 사람</translation>
        </message>
    </context>
    <context>
        <name>ChatInviteSelectItem</name>
        <message>
            <source>Remove</source>
            <translation>삭제</translation>
        </message>
        <message>
            <source>Remove %1</source>
            <translation>%1 빼기</translation>
        </message>
    </context>
    <context>
        <name>ChatRoomRowText</name>
        <message>
            <source>No member</source>
            <translation>대화 상대 없음</translation>
        </message>
        <message>
            <source>MMM d</source>
            <comment>a room list row's date as a QDate format: month and day</comment>
            <translation>M월 d일</translation>
        </message>
        <message>
            <source>%1 %2</source>
            <comment>a room list row's time on another day: the date, then the clock</comment>
            <translation>%1 %2</translation>
        </message>
        <message>
            <source>%1, %2 members</source>
            <comment>a room list row read out: the room, its member count</comment>
            <translation>%1, %2명</translation>
        </message>
        <message>
            <source>%1, %2: %3</source>
            <comment>a room list row read out: the room, the time, the newest message</comment>
            <translation>%1, %2: %3</translation>
        </message>
        <message>
            <source>%1, %2 unread</source>
            <comment>a room list row read out, then its unread count</comment>
            <translation>%1, 읽지 않음 %2개</translation>
        </message>
    </context>
    <context>
        <name>DialogFrame</name>
        <message>
            <source>Close</source>
            <translation>닫기</translation>
        </message>
    </context>
    <context>
        <name>InviteSelectUserList</name>
        <message>
            <source>%1, already in the room</source>
            <translation>%1, 이미 대화방에 있음</translation>
        </message>
    </context>
    <context>
        <name>InviteUserDelegate</name>
        <message>
            <source>Not Install</source>
            <translation>미설치</translation>
        </message>
        <message>
            <source>Decline Invite</source>
            <translation>초대 거부</translation>
        </message>
    </context>
    <context>
        <name>InviteUserModel</name>
        <message>
            <source>%1, %2</source>
            <comment>an invitation row read out: the name, the department</comment>
            <translation>%1, %2</translation>
        </message>
        <message>
            <source>%1, cannot be chosen: has not installed the program</source>
            <translation>%1, 선택할 수 없음: 프로그램을 설치하지 않음</translation>
        </message>
        <message>
            <source>%1, cannot be chosen: does not accept chats</source>
            <translation>%1, 선택할 수 없음: 대화를 받지 않음</translation>
        </message>
        <message>
            <source>%1, already in the room</source>
            <translation>%1, 이미 대화방에 있음</translation>
        </message>
        <message>
            <source>%1, chosen</source>
            <translation>%1, 선택됨</translation>
        </message>
    </context>
    <context>
        <name>MainDialog</name>
        <message>
            <source>Search Chatt Room</source>
            <translation>채팅방 검색</translation>
        </message>
        <message>
            <source>PLOVEX(Chat)</source>
            <translation>PLOVEX(Chat)</translation>
        </message>
        <message>
            <source>Unlock mode status</source>
            <translation>잠금 모드 상태</translation>
        </message>
        <message>
            <source>Please enter your ID</source>
            <translation>아이디를 입력하세요</translation>
        </message>
        <message>
            <source>Please enter your Password</source>
            <translation>비밀번호를 입력하세요</translation>
        </message>
        <message>
            <source>You are already logged in. Continue to login?</source>
            <translation>이미 로그인되어 있습니다. 계속 로그인하시겠습니까?</translation>
        </message>
        <message>
            <source>The latest version is updated. Use the latest version.</source>
            <translation>최신 버전이 업데이트되었습니다. 최신 버전을 사용하세요.</translation>
        </message>
        <message>
            <source>No filename on update url</source>
            <translation>업데이트 주소에 파일 이름이 없습니다</translation>
        </message>
        <message>
            <source>The local data of the account could not be deleted: %1</source>
            <translation>계정의 로컬 데이터를 삭제하지 못했습니다: %1</translation>
        </message>
        <message>
            <source>New messages cannot be saved on this computer: the disk may be full. They are kept on the server and arrive as soon as saving works again.</source>
            <translation>새 메시지를 이 컴퓨터에 저장할 수 없습니다. 디스크가 가득 찼을 수 있습니다. 메시지는 서버에 보관되며 다시 저장할 수 있게 되면 바로 도착합니다.</translation>
        </message>
        <message>
            <source>My picture</source>
            <translation>내 사진</translation>
        </message>
        <message>
            <source>Enter your password to unlock</source>
            <translation>잠금을 해제하려면 비밀번호를 입력하세요</translation>
        </message>
        <message>
            <source>Version %1</source>
            <translation>버전 %1</translation>
        </message>
        <message>
            <source>Alarm: on</source>
            <translation>알림: 켜짐</translation>
        </message>
        <message>
            <source>Alarm: off</source>
            <translation>알림: 꺼짐</translation>
        </message>
        <message>
            <source>The setting applies now but could not be saved for the next start:
%1</source>
            <translation>설정은 지금 적용되지만 다음 시작을 위해 저장하지 못했습니다:
%1</translation>
        </message>
    </context>
    <context>
        <name>MainMenuItems</name>
        <message>
            <source>Open</source>
            <translation>열기</translation>
        </message>
        <message>
            <source>Create Chat</source>
            <translation>대화 만들기</translation>
        </message>
        <message>
            <source>Lock Mode</source>
            <translation>잠금 모드</translation>
        </message>
        <message>
            <source>Settings</source>
            <translation>설정</translation>
        </message>
        <message>
            <source>Log off</source>
            <translation>로그오프</translation>
        </message>
        <message>
            <source>Exit</source>
            <translation>종료</translation>
        </message>
    </context>
    <context>
        <name>MembersDialog</name>
        <message>
            <source>Members</source>
            <translation>대화상대</translation>
        </message>
        <message>
            <source>Readers</source>
            <translation>읽은 사람</translation>
        </message>
    </context>
    <context>
        <name>MqttManager</name>
        <message>
            <source>Unknown user</source>
            <translation>알 수 없는 사용자</translation>
        </message>
    </context>
    <context>
        <name>MtChatAccessibleText</name>
        <message>
            <source>Video</source>
            <translation>동영상</translation>
        </message>
        <message>
            <source>Picture</source>
            <translation>사진</translation>
        </message>
        <message>
            <source>File %1, %2</source>
            <comment>file name, file size</comment>
            <translation>파일 %1, %2</translation>
        </message>
        <message>
            <source>%1, %2: %3</source>
            <comment>sender, time: message</comment>
            <translation>%1, %2: %3</translation>
        </message>
        <message>
            <source>You</source>
            <comment>the sender of the user's own messages</comment>
            <translation>나</translation>
        </message>
        <message>
            <source>%1, %2</source>
            <comment>what a message row says, then its read count or sending state</comment>
            <translation>%1, %2</translation>
        </message>
    </context>
    <context>
        <name>MtChatBaseItem</name>
        <message>
            <source>Open</source>
            <translation>열기</translation>
        </message>
        <message>
            <source>Open folder</source>
            <translation>폴더 열기</translation>
        </message>
        <message>
            <source>Save</source>
            <translation>저장</translation>
        </message>
        <message>
            <source>Save as</source>
            <translation>다른 이름으로 저장</translation>
        </message>
        <message>
            <source>Sending</source>
            <translation>보내는 중</translation>
        </message>
        <message>
            <source>Error sending</source>
            <translation>보내기 실패</translation>
        </message>
        <message>
            <source>Saving</source>
            <translation>저장 중</translation>
        </message>
        <message>
            <source>Error saving</source>
            <translation>저장 실패</translation>
        </message>
        <message numerus="yes">
            <source>%n Read</source>
            <comment>how many members have read a message</comment>
            <translation>
                <numerusform>%n 읽음</numerusform>
            </translation>
        </message>
    </context>
    <context>
        <name>MtChatDateItem</name>
        <message>
            <source>%1-%2-%3 %4</source>
            <comment>the date row: year, month and day numbers, weekday name</comment>
            <translation>%1년 %2월 %3일 %4</translation>
        </message>
    </context>
    <context>
        <name>MtImageViewer</name>
        <message>
            <source>Previous picture</source>
            <translation>이전 사진</translation>
        </message>
        <message>
            <source>Next picture</source>
            <translation>다음 사진</translation>
        </message>
        <message>
            <source>Pictures of the room</source>
            <translation>대화방의 사진</translation>
        </message>
        <message>
            <source>Picture from %1, %2</source>
            <comment>the picture in the viewer: its sender, its time</comment>
            <translation>%1님이 보낸 사진, %2</translation>
        </message>
    </context>
    <context>
        <name>MtSearchLineEdit</name>
        <message>
            <source>Clear</source>
            <translation>지우기</translation>
        </message>
        <message>
            <source>Search</source>
            <translation>검색</translation>
        </message>
    </context>
    <context>
        <name>MtSession</name>
        <message>
            <source>Please check network connection</source>
            <translation>네트워크 연결을 확인하세요</translation>
        </message>
        <message>
            <source>Database Error</source>
            <translation>데이터베이스 오류</translation>
        </message>
    </context>
    <context>
        <name>MtTextViewer</name>
        <message>
            <source>Message</source>
            <translation>메시지</translation>
        </message>
    </context>
    <context>
        <name>NetServerManager</name>
        <message>
            <source>The server sent nothing for too long: the request timed out</source>
            <translation>서버가 너무 오래 응답하지 않아 요청 시간이 초과되었습니다</translation>
        </message>
        <message>
            <source>The server's answer could not be read</source>
            <translation>서버의 응답을 읽을 수 없습니다</translation>
        </message>
        <message>
            <source>The room list could not be stored</source>
            <translation>대화방 목록을 저장하지 못했습니다</translation>
        </message>
    </context>
    <context>
        <name>PasswordCheck</name>
        <message>
            <source>The password is empty.</source>
            <translation>비밀번호가 비어 있습니다.</translation>
        </message>
        <message>
            <source>The password must be between 9 and 20 characters</source>
            <translation>비밀번호는 9자에서 20자 사이여야 합니다</translation>
        </message>
        <message>
            <source>Current password is wrong.</source>
            <translation>현재 비밀번호가 틀렸습니다.</translation>
        </message>
        <message>
            <source>The new password is not match with the confirm new passowrd.</source>
            <translation>새 비밀번호와 비밀번호 확인이 일치하지 않습니다.</translation>
        </message>
    </context>
    <context>
        <name>ProfileEditDialog</name>
        <message>
            <source>Profile</source>
            <translation>프로필</translation>
        </message>
        <message>
            <source>Change Password</source>
            <translation>비밀번호 변경</translation>
        </message>
        <message>
            <source>Logout</source>
            <translation>로그아웃</translation>
        </message>
        <message>
            <source>OK</source>
            <translation>확인</translation>
        </message>
        <message>
            <source>Cancel</source>
            <translation>취소</translation>
        </message>
        <message>
            <source>Modify</source>
            <translation>변경</translation>
        </message>
        <message>
            <source>Remove</source>
            <translation>삭제</translation>
        </message>
        <message>
            <source>Please check network connection</source>
            <translation>네트워크 연결을 확인해 주세요.</translation>
        </message>
        <message>
            <source>The server did not name the uploaded picture.</source>
            <translation>서버가 올린 사진을 알려 주지 않았습니다.</translation>
        </message>
        <message>
            <source>Image File</source>
            <translation>이미지 파일</translation>
        </message>
        <message>
            <source>The picture could not be saved.</source>
            <translation>사진을 저장하지 못했습니다.</translation>
        </message>
        <message>
            <source>Do you want to remove the profile picture?</source>
            <translation>프로필 사진을 삭제하시겠습니까?</translation>
        </message>
        <message>
            <source>This image is a corrupted image.</source>
            <translation>손상된 이미지입니다.</translation>
        </message>
        <message>
            <source>Image File (%1)</source>
            <translation>이미지 파일 (%1)</translation>
        </message>
        <message>
            <source>My picture</source>
            <translation>내 사진</translation>
        </message>
        <message>
            <source>Name</source>
            <translation>이름</translation>
        </message>
    </context>
    <context>
        <name>ProfileImageEditDialog</name>
        <message>
            <source>Edit Profile Image</source>
            <translation>프로필 이미지 편집</translation>
        </message>
        <message>
            <source>OK</source>
            <translation>확인</translation>
        </message>
        <message>
            <source>Cancel</source>
            <translation>취소</translation>
        </message>
    </context>
    <context>
        <name>ProfileViewPopup</name>
        <message>
            <source>Chat</source>
            <translation>대화하기</translation>
        </message>
        <message>
            <source>Close</source>
            <translation>닫기</translation>
        </message>
        <message>
            <source>Picture of %1</source>
            <translation>%1의 사진</translation>
        </message>
    </context>
    <context>
        <name>QObject</name>
        <message>
            <source>PLOVEX(Chat)</source>
            <translation>PLOVEX(Chat)</translation>
        </message>
        <message>
            <source>This OS does not support system tray</source>
            <translation>이 운영체제는 시스템 트레이를 지원하지 않습니다</translation>
        </message>
    </context>
    <context>
        <name>SettingsDialog</name>
        <message>
            <source>Are you sure logout?</source>
            <translation>로그아웃 하시겠습니까?</translation>
        </message>
        <message>
            <source>The conversations stored on this computer will be deleted.</source>
            <translation>이 컴퓨터에 저장된 대화가 삭제됩니다.</translation>
        </message>
        <message>
            <source>Settings</source>
            <translation>설정</translation>
        </message>
        <message>
            <source>My Profile</source>
            <translation>내 프로필</translation>
        </message>
        <message>
            <source>Edit</source>
            <translation>편집</translation>
        </message>
        <message>
            <source>Autorun Startupup</source>
            <translation>시스템 시작 시 실행</translation>
        </message>
        <message>
            <source>Autorun</source>
            <translation>자동 실행</translation>
        </message>
        <message>
            <source>Automatic lock</source>
            <translation>자동 잠금</translation>
        </message>
        <message>
            <source>1Min</source>
            <translation>1분</translation>
        </message>
        <message>
            <source>2Min</source>
            <translation>2분</translation>
        </message>
        <message>
            <source>3Min</source>
            <translation>3분</translation>
        </message>
        <message>
            <source>5Min</source>
            <translation>5분</translation>
        </message>
        <message>
            <source>10Min</source>
            <translation>10분</translation>
        </message>
        <message>
            <source>Lock Mode</source>
            <translation>잠금 모드</translation>
        </message>
        <message>
            <source>Alarm</source>
            <translation>알림</translation>
        </message>
        <message>
            <source>3Sec</source>
            <translation>3초</translation>
        </message>
        <message>
            <source>4Sec</source>
            <translation>4초</translation>
        </message>
        <message>
            <source>5Sec</source>
            <translation>5초</translation>
        </message>
        <message>
            <source>6Sec</source>
            <translation>6초</translation>
        </message>
        <message>
            <source>7Sec</source>
            <translation>7초</translation>
        </message>
        <message>
            <source>8Sec</source>
            <translation>8초</translation>
        </message>
        <message>
            <source>Display time</source>
            <translation>표시 시간</translation>
        </message>
        <message>
            <source>Sound Alarm</source>
            <translation>소리 알림</translation>
        </message>
        <message>
            <source>Alarm Window</source>
            <translation>알림 창</translation>
        </message>
        <message>
            <source>Sound Alarm + Alarm Window</source>
            <translation>소리 알림 + 알림 창</translation>
        </message>
        <message>
            <source>Alarm Type</source>
            <translation>알림 방식</translation>
        </message>
        <message>
            <source>Version</source>
            <translation>버전</translation>
        </message>
        <message>
            <source>Logout</source>
            <translation>로그아웃</translation>
        </message>
        <message>
            <source>Please check network connection</source>
            <translation>네트워크 연결을 확인해 주세요.</translation>
        </message>
        <message>
            <source>Enabled Logging</source>
            <translation>로그 기록을 시작합니다</translation>
        </message>
        <message>
            <source>Disabled Logging</source>
            <translation>로그 기록을 중지합니다</translation>
        </message>
        <message>
            <source>My picture</source>
            <translation>내 사진</translation>
        </message>
    </context>
    <context>
        <name>ToastChatMessage</name>
        <message>
            <source>Picture of %1</source>
            <translation>%1의 사진</translation>
        </message>
    </context>
    <context>
        <name>UpgradeDialog</name>
        <message>
            <source>The update was downloaded but could not be started (error %1).
Start it yourself:
%2</source>
            <translation>업데이트를 내려받았지만 실행하지 못했습니다 (오류 %1).
직접 실행해 주세요:
%2</translation>
        </message>
        <message>
            <source>Cancelled</source>
            <translation>취소됨</translation>
        </message>
        <message>
            <source>The update link is not a secure address:
%1</source>
            <translation>업데이트 링크가 안전한 주소가 아닙니다:
%1</translation>
        </message>
        <message>
            <source>No filename on update url</source>
            <translation>업데이트 주소에 파일 이름이 없습니다</translation>
        </message>
        <message>
            <source>The update cannot be saved to %1:
%2</source>
            <translation>업데이트를 %1에 저장할 수 없습니다:
%2</translation>
        </message>
        <message>
            <source>Download error</source>
            <translation>다운로드 오류</translation>
        </message>
        <message>
            <source>Completed</source>
            <translation>완료되었습니다</translation>
        </message>
        <message>
            <source>The download stopped: the server sent nothing more.</source>
            <translation>다운로드가 멈췄습니다: 서버가 더 이상 데이터를 보내지 않습니다.</translation>
        </message>
    </context>
</TS>
